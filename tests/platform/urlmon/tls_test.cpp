#include "download_fixture.h"
#include "platform/registry/registry.h"

#include <cstdlib>

#ifndef LEAFSTASH_TEST_DATA
#error "LEAFSTASH_TEST_DATA names the folder of the test certificate"
#endif

namespace leafstash {
namespace {

using test::Recorder;

TEST(SecureDownload, ACertificateProblemNeedsAnAnswer) {
  test::BasicTestServer<httplib::SSLServer> server(LEAFSTASH_TEST_DATA "/test-cert.pem",
                                                   LEAFSTASH_TEST_DATA "/test-key.pem");
  server.Routes().Get("/x", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("secure", "text/plain");
  });
  server.Start();
  const std::string url = server.Url("/x", "https");

  TIEDownload d;
  Recorder rec(d);
  d.Download(url);
  ASSERT_TRUE(rec.WaitFor(1));
  EXPECT_EQ(rec.completions[0].result, INET_E_SECURITY_PROBLEM);

  std::vector<DWORD> problems;
  d.OnSecurityProblem = [&](TBSCB*, DWORD problem) {
    problems.push_back(problem);
    return S_OK;
  };
  d.Download(url);
  ASSERT_TRUE(rec.WaitFor(2));
  EXPECT_EQ(rec.completions[1].result, S_OK);
  EXPECT_EQ(rec.completions[1].body, "secure");
  EXPECT_EQ(problems.size(), 1u);

  d.OnSecurityProblem = [](TBSCB*, DWORD) { return E_ABORT; };
  d.Download(url);
  ASSERT_TRUE(rec.WaitFor(3));
  EXPECT_EQ(rec.completions[2].result, INET_E_SECURITY_PROBLEM);
  EXPECT_TRUE(test::WaitUntil([] { return ActiveBindCount() == 0; }));
}

TEST(Registry, TheDefaultUserAgentComesFromTheCurrentUser) {
  test::TempDir dir;
  ::setenv("LEAFSTASH_REGISTRY", dir.File("registry.json").c_str(), 1);
  EXPECT_EQ(TIEDownload().UserAgent, "");
  const char* key = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";
  ASSERT_TRUE(RegistryWriteText(TRegistryRoot::CurrentUser, key, "User Agent", "Agent/2"));
  EXPECT_EQ(TIEDownload().UserAgent, "Agent/2");
  EXPECT_EQ(RegistryReadText(TRegistryRoot::CurrentUser,
                             "software\\microsoft\\windows\\currentversion\\internet settings",
                             "user agent"),
            "Agent/2");
  EXPECT_FALSE(RegistryReadText(TRegistryRoot::ClassesRoot, key, "User Agent"));
  EXPECT_TRUE(RegistryDeleteKey(TRegistryRoot::CurrentUser, key));
  EXPECT_FALSE(RegistryKeyExists(TRegistryRoot::CurrentUser, key));
  ::unsetenv("LEAFSTASH_REGISTRY");
}

}  // namespace
}  // namespace leafstash
