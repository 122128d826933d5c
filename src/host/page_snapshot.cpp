#include "host/page_snapshot.h"

#include <nlohmann/json.hpp>
#include <type_traits>

#include "platform/automation/automation_object.h"

namespace leafstash {
namespace {

using nlohmann::json;

std::shared_ptr<TAutomationObject> NewObject() {
  return std::make_shared<TAutomationObject>();
}

// Copies the text member Key of From into Name of To, when it is there.
void CopyText(const json& From, const char* Key, TAutomationObject& To,
              std::string_view Name) {
  auto it = From.find(Key);
  if (it == From.end()) return;
  if (!it->is_string()) throw SnapshotError(std::string(Key) + " must be text");
  To.SetProperty(Name, it->get<std::string>());
}

// A collection answering Length and Item(index from 0).
Variant MakeCollection(std::vector<Variant> Items) {
  auto collection = NewObject();
  collection->SetProperty("Length", static_cast<std::int64_t>(Items.size()));
  collection->SetMethod("Item", [items = std::move(Items)](const std::vector<Variant>& args) {
    if (args.size() != 1)
      throw AutomationError(DISP_E_BADPARAMCOUNT, "Item takes one index");
    const std::int64_t index = args[0].ToInteger();
    if (index < 0 || index >= static_cast<std::int64_t>(items.size()))
      throw AutomationError(DISP_E_BADINDEX, "no item " + std::to_string(index));
    return items[static_cast<std::size_t>(index)];
  });
  return DispatchPtr(collection);
}

const json& ArrayMember(const json& From, const char* Key) {
  const json& member = From.at(Key);
  if (!member.is_array()) throw SnapshotError(std::string(Key) + " must be a list");
  return member;
}

void RequireObject(const json& Value, const char* What) {
  if (!Value.is_object()) throw SnapshotError(std::string(What) + " must be an object");
}

// Member Key of From when it is there: text, a truth value or a number.
template <typename T>
T Member(const json& From, const char* Key, T Default) {
  auto it = From.find(Key);
  if (it == From.end() || it->is_null()) return Default;
  const bool right = std::is_same_v<T, std::string>   ? it->is_string()
                     : std::is_same_v<T, bool>        ? it->is_boolean()
                                                      : it->is_number();
  if (!right) throw SnapshotError(std::string(Key) + " has the wrong type");
  return it->get<T>();
}

TSameSite SameSiteOf(const std::string& Text) {
  if (Text == "no_restriction") return TSameSite::None;
  if (Text == "lax") return TSameSite::Lax;
  if (Text == "strict") return TSameSite::Strict;
  return TSameSite::Unspecified;
}

TBrowserHandover ReadHandover(const json& Snapshot) {
  TBrowserHandover handover;
  handover.UserAgent = Member<std::string>(Snapshot, "userAgent", "");
  if (Snapshot.contains("clickedLink")) {
    const json& link = Snapshot["clickedLink"];
    RequireObject(link, "the clicked link");
    handover.ClickedLink = {Member<std::string>(link, "href", ""),
                            Member<std::string>(link, "innerText", "")};
  }
  if (Snapshot.contains("cookies")) {
    for (const json& item : ArrayMember(Snapshot, "cookies")) {
      RequireObject(item, "a cookie");
      TBrowserCookie cookie;
      cookie.Name = Member<std::string>(item, "name", "");
      cookie.Value = Member<std::string>(item, "value", "");
      cookie.Domain = Member<std::string>(item, "domain", "");
      if (!cookie.Domain.empty() && cookie.Domain.front() == '.') cookie.Domain.erase(0, 1);
      cookie.HostOnly = Member<bool>(item, "hostOnly", true);
      cookie.Path = Member<std::string>(item, "path", "/");
      cookie.Secure = Member<bool>(item, "secure", false);
      cookie.HttpOnly = Member<bool>(item, "httpOnly", false);
      cookie.SameSite = SameSiteOf(Member<std::string>(item, "sameSite", ""));
      const double expires = Member<double>(item, "expirationDate", 0.0);
      cookie.Expires = expires > 0 && expires < 1e15 ? static_cast<std::int64_t>(expires) : 0;
      handover.Cookies.push_back(std::move(cookie));
    }
  }
  if (Snapshot.contains("documents")) {
    for (const json& item : ArrayMember(Snapshot, "documents")) {
      RequireObject(item, "a document");
      TShownDocument document;
      document.Url = Member<std::string>(item, "url", "");
      document.Html = Member<std::string>(item, "html", "");
      handover.Documents.push_back(std::move(document));
    }
  }
  return handover;
}

}  // namespace

Variant BuildWindowFromSnapshot(std::string_view Json) { return ReadSnapshot(Json).Window; }

TSnapshot ReadSnapshot(std::string_view Json) {
  json snapshot;
  try {
    snapshot = json::parse(Json.begin(), Json.end());
  } catch (const json::parse_error& e) {
    // Where, not what: the parser's own message quotes the text.
    throw SnapshotError("the page snapshot is not valid JSON (at byte " +
                        std::to_string(e.byte) + ")");
  } catch (const json::exception&) {
    throw SnapshotError("the page snapshot is not valid JSON");
  }
  RequireObject(snapshot, "the page snapshot");
  TSnapshot result;
  result.Handover = ReadHandover(snapshot);

  // The top window and its document: the page's address and title, frames.
  auto top = NewObject();
  auto topDocument = NewObject();
  CopyText(snapshot, "url", *topDocument, "Url");
  CopyText(snapshot, "title", *topDocument, "Title");
  top->SetProperty("document", DispatchPtr(topDocument));
  top->SetGetter("parent", [weak = std::weak_ptr<TAutomationObject>(top)] {
    return Variant(DispatchPtr(weak.lock()));
  });
  Variant framesCollection;
  if (snapshot.contains("frames")) {
    std::vector<Variant> frames;
    for (const json& item : ArrayMember(snapshot, "frames")) {
      RequireObject(item, "a frame");
      auto frame = NewObject();
      auto frameDocument = NewObject();
      CopyText(item, "title", *frameDocument, "Title");
      CopyText(item, "location", *frame, "location");
      frame->SetProperty("document", DispatchPtr(frameDocument));
      frames.emplace_back(DispatchPtr(frame));
    }
    framesCollection = MakeCollection(std::move(frames));
    top->SetProperty("frames", framesCollection);
  }

  // The window the user worked in: its document's address, selection, links.
  auto window = NewObject();
  auto document = NewObject();
  window->SetProperty("parent", DispatchPtr(top));
  window->SetProperty("document", DispatchPtr(document));
  if (framesCollection.IsObject()) window->SetProperty("frames", framesCollection);
  CopyText(snapshot, "documentUrl", *document, "URL");
  if (snapshot.contains("selectionHtml")) {
    auto range = NewObject();
    CopyText(snapshot, "selectionHtml", *range, "HtmlText");
    auto selection = NewObject();
    selection->SetMethod("createRange", [range](const std::vector<Variant>&) {
      return Variant(DispatchPtr(range));
    });
    document->SetProperty("selection", DispatchPtr(selection));
  }
  if (snapshot.contains("links")) {
    std::vector<Variant> links;
    for (const json& item : ArrayMember(snapshot, "links")) {
      RequireObject(item, "a link");
      auto link = NewObject();
      CopyText(item, "href", *link, "href");
      CopyText(item, "innerText", *link, "innerText");
      links.emplace_back(DispatchPtr(link));
    }
    document->SetProperty("Links", MakeCollection(std::move(links)));
  }
  result.Window = DispatchPtr(window);
  return result;
}

}  // namespace leafstash
