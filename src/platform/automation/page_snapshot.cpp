#include "page_snapshot.h"

#include <nlohmann/json.hpp>

#include "automation_object.h"

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

}  // namespace

Variant BuildWindowFromSnapshot(std::string_view Json) {
  json snapshot;
  try {
    snapshot = json::parse(Json.begin(), Json.end());
  } catch (const json::exception& e) {
    throw SnapshotError(std::string("the page snapshot is not valid JSON: ") + e.what());
  }
  RequireObject(snapshot, "the page snapshot");

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
  return DispatchPtr(window);
}

}  // namespace leafstash
