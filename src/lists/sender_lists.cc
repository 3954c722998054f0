#include "lists/sender_lists.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "lists/xml_nesting.h"
#include "platform/codepage.h"

namespace tarvex {
namespace {

constexpr char kAddressElement[] = "MailID";
constexpr char kDomainElement[] = "Domain";
constexpr char kNameAttribute[] = "Name";

// A list is two levels deep. TinyXML recurses once per level, so deeper files
// are refused before it sees them (see xml_nesting.h).
constexpr size_t kMaxNesting = 256;
constexpr size_t kUtf8SequenceMax = 4;

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view StripAngleBrackets(std::string_view address) {
  while (!address.empty() && address.front() == '<') address.remove_prefix(1);
  while (!address.empty() && address.back() == '>') address.remove_suffix(1);
  return address;
}

bool AnyEqual(const std::vector<std::string>& entries, std::string_view text) {
  for (const std::string& entry : entries) {
    if (EqualIgnoringCase(entry, text)) return true;
  }
  return false;
}

std::string ListPath(const FilterSettings& settings, ListId list) {
  return list == ListId::Blacklist ? settings.GetBlackListPath() : settings.GetWhiteListPath();
}

const char* ElementOf(EntryKind kind) {
  return kind == EntryKind::Address ? kAddressElement : kDomainElement;
}

const char* ListName(ListId list) { return list == ListId::Blacklist ? "blacklist" : "whitelist"; }

// Parses the text of the list file at path (named in errors).
Status ParseList(std::string text, const std::string& path, TiXmlDocument* doc) {
  const std::string shown = cp1252::ToUtf8(path);
  // TinyXML reads up to the first zero byte; the depth check sees the same.
  if (XmlNestingDepth(text.c_str(), kMaxNesting) > kMaxNesting) {
    return Status::Invalid(shown, "elements nested too deeply");
  }
  // Under a UTF-8 declaration TinyXML takes a lead byte's whole sequence
  // before it looks for the end, so a file ending in one has it read past
  // the terminator into whatever memory follows. Zeros there end it.
  text.append(kUtf8SequenceMax - 1, '\0');
  doc->Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
  if (doc->Error()) {
    std::string why = doc->ErrorDesc();
    if (!why.empty() && why.back() == '.') why.pop_back();
    if (doc->ErrorRow() > 0) {  // 0 when TinyXML knows no place
      why = "line " + std::to_string(doc->ErrorRow()) + ", column " +
            std::to_string(doc->ErrorCol()) + ": " + why;
    }
    return Status::Invalid(shown, why);
  }
  if (doc->RootElement() == nullptr) return Status::Invalid(shown, "no element in the file");
  return Status::Ok();
}

// Parses the list file. Fails when there is no path, the file cannot be read,
// is too deeply nested, does not parse or has no element; what the document
// holds besides is not checked.
Status ReadList(FileSystem& fs, ListId list, const std::string& path, TiXmlDocument* doc) {
  if (path.empty()) return Status::Invalid(ListName(list), "no file is set for it in the settings");
  std::string text;
  if (Status read = fs.Read(path, &text); !read.ok()) return read;
  return ParseList(std::move(text), path, doc);
}

// The document exactly as TiXmlDocument::SaveFile writes it. SaveFile's layout
// comes from printing to a FILE (TiXmlPrinter places text and CDATA
// differently), so the document is printed into a memory stream.
bool PrintList(const TiXmlDocument& doc, std::string* text) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  if (stream == nullptr) return false;
  const bool printed = doc.SaveFile(stream);
  const bool closed = std::fclose(stream) == 0;
  if (printed && closed) text->assign(buffer, size);
  std::free(buffer);
  return printed && closed;
}

// Callers do not look at the outcome: a list that cannot be written simply
// keeps its old content.
// The root's entries as element and name, in file order.
std::vector<std::pair<std::string, std::string>> EntriesOf(const TiXmlDocument& doc) {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const TiXmlElement* e = doc.RootElement()->FirstChildElement(); e != nullptr;
       e = e->NextSiblingElement()) {
    const std::string* name = e->Attribute(std::string(kNameAttribute));
    entries.emplace_back(e->ValueStr(), name ? *name : std::string());
  }
  return entries;
}

// TinyXML does not always read back what it printed (a mangled declaration
// can come out unreadable): a list is never replaced by text that would load
// as other entries, or not at all.
void WriteList(FileSystem& fs, const std::string& path, const TiXmlDocument& doc) {
  std::string text;
  if (!PrintList(doc, &text)) return;
  TiXmlDocument reread;
  if (!ParseList(text, path, &reread).ok() || EntriesOf(reread) != EntriesOf(doc)) return;
  WriteWholeFile(fs, path, text);
}

std::string_view NameOf(const TiXmlElement& entry) {
  // The std::string form keeps a value that holds a zero byte (from "&#0;") whole.
  const std::string* name = entry.Attribute(std::string(kNameAttribute));
  return name != nullptr ? std::string_view(*name) : std::string_view();
}

// The first direct child of root of the element type whose Name equals text.
TiXmlElement* FindEntry(TiXmlElement* root, const char* element, std::string_view text) {
  for (TiXmlElement* entry = root->FirstChildElement(element); entry != nullptr;
       entry = entry->NextSiblingElement(element)) {
    if (EqualIgnoringCase(NameOf(*entry), text)) return entry;
  }
  return nullptr;
}

bool LoadList(FileSystem& fs, const FilterSettings& settings, ListId list,
              std::vector<std::string>* addresses, std::vector<std::string>* domains) {
  TiXmlDocument doc;
  if (!ReadList(fs, list, ListPath(settings, list), &doc).ok()) return false;
  for (const TiXmlElement* entry = doc.RootElement()->FirstChildElement(); entry != nullptr;
       entry = entry->NextSiblingElement()) {
    std::vector<std::string>* entries = entry->ValueStr() == kAddressElement  ? addresses
                                        : entry->ValueStr() == kDomainElement ? domains
                                                                              : nullptr;
    if (entries != nullptr) entries->emplace_back(NameOf(*entry));
  }
  return true;
}

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool SenderLists::IsWhitelistedAddress(std::string_view address) const {
  return AnyEqual(whitelistAddresses, StripAngleBrackets(address));
}

bool SenderLists::IsBlacklistedAddress(std::string_view address) const {
  return AnyEqual(blacklistAddresses, StripAngleBrackets(address));
}

bool SenderLists::IsWhitelistedDomain(std::string_view domain) const {
  return AnyEqual(whitelistDomains, domain);
}

bool SenderLists::IsBlacklistedDomain(std::string_view domain) const {
  return AnyEqual(blacklistDomains, domain);
}

bool LoadBlacklist(FileSystem& fs, const FilterSettings& settings,
                   std::vector<std::string>* addresses, std::vector<std::string>* domains) {
  return LoadList(fs, settings, ListId::Blacklist, addresses, domains);
}

bool LoadWhitelist(FileSystem& fs, const FilterSettings& settings,
                   std::vector<std::string>* addresses, std::vector<std::string>* domains) {
  return LoadList(fs, settings, ListId::Whitelist, addresses, domains);
}

void LoadSenderLists(FileSystem& fs, const FilterSettings& settings, SenderLists* lists) {
  LoadBlacklist(fs, settings, &lists->blacklistAddresses, &lists->blacklistDomains);
  LoadWhitelist(fs, settings, &lists->whitelistAddresses, &lists->whitelistDomains);
}

Status CheckList(FileSystem& fs, const FilterSettings& settings, ListId list) {
  TiXmlDocument doc;
  return ReadList(fs, list, ListPath(settings, list), &doc)
      .WithNote(std::string("the ") + ListName(list) + " counts as empty until the file is mended");
}

bool AddEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
              std::string_view text) {
  const std::string path = ListPath(settings, list);
  TiXmlDocument doc;
  if (!ReadList(fs, list, path, &doc).ok()) return false;
  TiXmlElement entry(ElementOf(kind));
  entry.SetAttribute(std::string(kNameAttribute), std::string(text));
  doc.RootElement()->InsertEndChild(entry);
  WriteList(fs, path, doc);
  return true;
}

bool RenameEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
                 std::string_view new_text, std::string_view old_text) {
  const std::string path = ListPath(settings, list);
  TiXmlDocument doc;
  if (!ReadList(fs, list, path, &doc).ok()) return false;
  if (TiXmlElement* entry = FindEntry(doc.RootElement(), ElementOf(kind), old_text)) {
    entry->SetAttribute(std::string(kNameAttribute), std::string(new_text));
  }
  WriteList(fs, path, doc);
  return true;
}

void RemoveEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
                 std::string_view text) {
  const std::string path = ListPath(settings, list);
  TiXmlDocument doc;
  if (!ReadList(fs, list, path, &doc).ok()) return;
  if (TiXmlElement* entry = FindEntry(doc.RootElement(), ElementOf(kind), text)) {
    doc.RootElement()->RemoveChild(entry);
  }
  WriteList(fs, path, doc);
}

bool ContainsEntry(FileSystem& fs, const FilterSettings& settings, ListId list, EntryKind kind,
                   std::string_view text) {
  TiXmlDocument doc;
  if (!ReadList(fs, list, ListPath(settings, list), &doc).ok()) return false;
  return FindEntry(doc.RootElement(), ElementOf(kind), text) != nullptr;
}

bool ExtractAddress(std::string_view from, std::string* address) {
  const size_t open = from.find('<');
  const size_t close = from.find('>');
  if (open == std::string_view::npos || close == std::string_view::npos) {
    if (address != nullptr) address->clear();
    return false;
  }
  if (address != nullptr) {
    address->assign(close < open ? std::string_view() : from.substr(open, close - open + 1));
  }
  return true;
}

bool ExtractDomain(std::string_view address, std::string* domain) {
  const size_t at = address.find('@');
  if (at == std::string_view::npos) {
    if (domain != nullptr) domain->clear();
    return false;
  }
  const size_t start = address.find_first_not_of('@', at);
  if (domain != nullptr) {
    domain->assign(start == std::string_view::npos ? std::string_view() : address.substr(start));
  }
  return true;
}

}  // namespace tarvex
