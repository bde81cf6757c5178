#include "tools/publish/site_list.h"

#include "common/parlo_string.h"
#include "common/typed_text.h"
#include "common/typed_text_writer.h"

namespace publish {
namespace {

Parlo_StringW Wide(const std::string& utf8) { return Parlo_StringW(utf8.c_str()); }

std::string Narrow(const Parlo_StringW& wide) {
  Parlo_String text(wide);
  return text.IsNull() ? std::string() : std::string(text.Buffer(), text.Length());
}

// Reads an integer item of any integer type; false when absent or not a number.
bool ReadInt(const Parlo_TypedNode& parent, const char16_t* key, int64_t* value) {
  const Parlo_TypedNode* node = parent.Find(key);
  if (node == nullptr) return false;
  switch (node->type) {
    case u'i':
    case u'n':
      *value = node->AsInt();
      return true;
    case u'L':
    case u'm':
      *value = node->AsInt64();
      return true;
    default:
      return false;
  }
}

bool ReadText(const Parlo_TypedNode& parent, const char16_t* key, std::string* value) {
  const Parlo_TypedNode* node = parent.Find(key);
  if (node == nullptr || node->type != u'$') return false;
  *value = Narrow(Parlo_StringW(node->AsText()));
  return true;
}

bool ReadEntry(const Parlo_TypedNode& node, ListEntry* entry, std::string* why) {
  entry->name = Narrow(node.name);
  std::string shown = "resource \"" + entry->name + "\"";
  if (node.type != u'[') {
    *why = shown + " is not a list of fields";
    return false;
  }
  int64_t version, language, size, compression, hash = 0;
  if (!ReadInt(node, u"version", &version) || !ReadInt(node, u"language", &language) ||
      !ReadInt(node, u"size", &size) || !ReadInt(node, u"compression", &compression) ||
      !ReadText(node, u"path", &entry->path)) {
    *why = shown +
           " lacks one of \"version\", \"language\", \"size\", \"path\" and "
           "\"compression\", or holds one with the wrong type";
    return false;
  }
  if (node.Find(u"hash") != nullptr && !ReadInt(node, u"hash", &hash)) {
    *why = shown + " has a \"hash\" that is not a number";
    return false;
  }
  entry->target = "Vossarium";
  if (node.Find(u"target") != nullptr && !ReadText(node, u"target", &entry->target)) {
    *why = shown + " has a \"target\" that is not a text";
    return false;
  }
  entry->version = static_cast<uint32_t>(version);
  entry->language = static_cast<int32_t>(language);
  entry->size = static_cast<uint32_t>(size);
  entry->compression = static_cast<int32_t>(compression);
  entry->hash = static_cast<uint32_t>(hash);
  return true;
}

}  // namespace

bool WriteListText(const SiteList& list, std::string* out) {
  Parlo_TypedNodeList resources;
  for (const ListEntry& entry : list.resources) {
    Parlo_TypedNodeList fields;
    fields.Add(Parlo_TypedNode::Int(u"version", static_cast<int32_t>(entry.version)));
    fields.Add(Parlo_TypedNode::Int(u"language", entry.language));
    fields.Add(Parlo_TypedNode::Int(u"size", static_cast<int32_t>(entry.size)));
    fields.Add(Parlo_TypedNode::Text(u"path", Wide(entry.path)));
    fields.Add(Parlo_TypedNode::Int(u"compression", entry.compression));
    fields.Add(Parlo_TypedNode::Text(u"target", Wide(entry.target)));
    fields.Add(Parlo_TypedNode::Int(u"hash", static_cast<int32_t>(entry.hash)));
    Parlo_StringW name = Wide(entry.name);
    resources.Add(Parlo_TypedNode::List(name.Buffer(), fields));
  }
  Parlo_TypedText document;
  document.root.Add(Parlo_TypedNode::List(u"resources", resources));
  document.root.Add(Parlo_TypedNode::Text(u"date", Wide(list.date)));
  if (!list.mirrors.empty()) {
    Parlo_TypedNodeList mirrors;
    for (size_t i = 0; i < list.mirrors.size(); ++i) {
      Parlo_TypedNodeList fields;
      fields.Add(Parlo_TypedNode::Text(u"url", Wide(list.mirrors[i])));
      Parlo_StringW name = Wide("mirror" + std::to_string(i + 1));
      mirrors.Add(Parlo_TypedNode::List(name.Buffer(), fields));
    }
    document.root.Add(Parlo_TypedNode::List(u"mirrors", mirrors));
  }
  document.root.Add(Parlo_TypedNode::Int(u"count", static_cast<int32_t>(list.resources.size())));
  Parlo_StringW text;
  if (!TypedTextWrite(document, &text)) return false;
  *out = Narrow(text) + "\n";
  return true;
}

bool ReadListText(const std::string& utf8, SiteList* list, std::string* why) {
  *list = SiteList{};
  Parlo_StringW wide(utf8.c_str());
  Parlo_TypedText document(wide.Buffer(), wide.Length());
  const Parlo_TypedNode* resources = document.root.Find(u"resources");
  if (resources == nullptr || resources->type != u'[') {
    *why = "no \"resources\" list";
    return false;
  }
  const Parlo_TypedNode* date = document.root.Find(u"date");
  if (date == nullptr) {
    *why = "no \"date\"";
    return false;
  }
  if (date->type == u'$') list->date = Narrow(Parlo_StringW(date->AsText()));
  for (int32_t i = 0; i < resources->Count(); ++i) {
    ListEntry entry;
    if (!ReadEntry(resources->At(i), &entry, why)) return false;
    list->resources.push_back(std::move(entry));
  }
  if (const Parlo_TypedNode* mirrors = document.root.Find(u"mirrors"); mirrors != nullptr) {
    for (int32_t i = 0; i < mirrors->Count(); ++i) {
      std::string url;
      if (!ReadText(mirrors->At(i), u"url", &url)) {
        *why = "mirror " + std::to_string(i + 1) + " has no \"url\" text";
        return false;
      }
      list->mirrors.push_back(url);
    }
  }
  // The closing count tells a list cut off between two resources from a whole one.
  const Parlo_TypedNode& last = document.root.At(document.root.Count() - 1);
  if (Narrow(last.name) != "count" || (last.type != u'i' && last.type != u'n') ||
      last.AsInt() != static_cast<int32_t>(list->resources.size())) {
    *why = "cut short or altered: its closing \"count\" is missing or does not match its " +
           std::to_string(list->resources.size()) + " resources";
    return false;
  }
  return true;
}

}  // namespace publish
