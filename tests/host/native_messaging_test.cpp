// The native messaging framing, the answers and the browser launch forms.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "host/framing.h"
#include "host/host_relay.h"

namespace leafstash {
namespace {

TEST(FrameReader, MessagesComeWholeHoweverTheBytesArrive) {
  const std::string stream = FrameMessage("{\"a\":1}") + FrameMessage("[2]");
  TFrameReader reader;
  std::vector<std::string> got;
  std::string message;
  for (char c : stream) {
    reader.Feed(&c, 1);
    while (reader.Next(message) == TFrameStatus::Message) got.push_back(message);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"{\"a\":1}", "[2]"}));
  EXPECT_EQ(reader.Next(message, true), TFrameStatus::End);

  const auto status = [](const std::string& Bytes, bool AtEnd) {
    TFrameReader r(100);
    r.Feed(Bytes.data(), Bytes.size());
    std::string m;
    return r.Next(m, AtEnd);
  };
  EXPECT_EQ(status(FrameMessage(""), false), TFrameStatus::Empty);
  EXPECT_EQ(status(FrameMessage(std::string(101, 'x')), false), TFrameStatus::TooLong);
  EXPECT_EQ(status(FrameMessage(std::string(100, 'x')), false), TFrameStatus::Message);
  EXPECT_EQ(status(FrameMessage("{}").substr(0, 5), false), TFrameStatus::Pending);
  EXPECT_EQ(status(FrameMessage("{}").substr(0, 5), true), TFrameStatus::Cut);
  EXPECT_EQ(status("\x02\x00", true), TFrameStatus::Cut);
}

TEST(FrameReader, ReadsOnlyWhatTheMessageNeeds) {
  // What follows a message stays in the pipe, so that waiting for input
  // again sees it.
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const std::string both = FrameMessage("first") + FrameMessage("second");
  ASSERT_TRUE(WriteAll(pipe[1], both));
  TFrameReader reader;
  std::string message;
  EXPECT_EQ(ReadMessage(pipe[0], reader, message), TFrameStatus::Message);
  EXPECT_EQ(message, "first");
  EXPECT_EQ(reader.Needed(), 4u);
  ::close(pipe[1]);
  char rest[64];
  EXPECT_EQ(::read(pipe[0], rest, sizeof rest), static_cast<ssize_t>(FrameMessage("second").size()));
  ::close(pipe[0]);
}

TEST(EncodeAnswer, AlwaysJsonUnderTheBrowsersLimit) {
  const std::string huge(3 * kMaxAnswerBytes, '\xff');
  for (const std::string& text : {std::string("a \"quoted\" \n line"), huge,
                                  std::string("title\0with NUL", 14)}) {
    const std::string answer = EncodeAnswer(E_INVALIDARG, text);
    EXPECT_LT(answer.size(), kMaxAnswerBytes);
    const auto parsed = nlohmann::json::parse(answer);
    EXPECT_EQ(parsed.at("status").get<int>(), E_INVALIDARG);
    EXPECT_TRUE(parsed.at("message").is_string());
  }
  EXPECT_EQ(nlohmann::json::parse(EncodeAnswer(S_OK, "")).at("status"), 0);
}

TEST(IsBrowserLaunch, KnowsBothBrowsersAndNothingElse) {
  using Args = std::vector<std::string>;
  EXPECT_TRUE(IsBrowserLaunch(Args{"chrome-extension://abc/"}));
  EXPECT_TRUE(IsBrowserLaunch(Args{"chrome-extension://abc/", "--parent-window=0"}));
  EXPECT_TRUE(IsBrowserLaunch(Args{"/home/u/.mozilla/native-messaging-hosts/leafstash.lsapp.json",
                                   "leafstash@leafstash.example"}));
  EXPECT_FALSE(IsBrowserLaunch(Args{}));
  EXPECT_FALSE(IsBrowserLaunch(Args{"-regserver"}));
  EXPECT_FALSE(IsBrowserLaunch(Args{"chrome-extension://abc/", "-regserver"}));
  EXPECT_FALSE(IsBrowserLaunch(Args{"relative.json", "id@x"}));
  EXPECT_FALSE(IsBrowserLaunch(Args{"/a/m.json", "-automation"}));
  EXPECT_FALSE(IsBrowserLaunch(Args{"http://example.org/"}));
}

}  // namespace
}  // namespace leafstash
