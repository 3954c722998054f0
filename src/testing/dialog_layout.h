// A dialog template written out one line per control, in words a reader can
// hold against the dialog's description: kind, text, place, size, styles.
//
//   "210 "Train the Bayesian filter" 296x129 MS Sans Serif 8"
//   "edit "" 17,65 239x14 autohscroll"
//   "default "Start Training" 221,108 68x14 ok"
//
// A control with the id of the dialog's own OK or Cancel button ends with
// "ok" or "cancel".
#ifndef TARVEX_TESTING_DIALOG_LAYOUT_H_
#define TARVEX_TESTING_DIALOG_LAYOUT_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialog.h"

namespace tarvex::testing {

inline std::string KindName(ControlKind kind) {
  using K = ControlKind;
  static const std::pair<K, const char*> kNames[] = {
      {K::kStatic, "static"},           {K::kGroupBox, "group"},    {K::kEdit, "edit"},
      {K::kMultiLineEdit, "multiedit"}, {K::kButton, "button"},     {K::kDefaultButton, "default"},
      {K::kCheckBox, "check"},          {K::kListView, "listview"}, {K::kComboBox, "combo"},
      {K::kBitmap, "bitmap"},           {K::kIcon, "icon"}};
  for (const auto& [k, name] : kNames) {
    if (k == kind) return name;
  }
  return "kind" + std::to_string(static_cast<int>(kind));
}

// The style flags by name, in the order of their bits; an unnamed bit shows
// as its number, so that a new flag cannot pass unseen.
inline std::string StyleNames(uint32_t style) {
  static const std::pair<uint32_t, const char*> kNames[] = {{ctl::kBorder, "border"},
                                                            {ctl::kVScroll, "vscroll"},
                                                            {ctl::kAutoHScroll, "autohscroll"},
                                                            {ctl::kReadOnly, "readonly"},
                                                            {ctl::kSorted, "sorted"},
                                                            {ctl::kReportView, "report"},
                                                            {ctl::kFullRowSelect, "fullrow"},
                                                            {ctl::kCenter, "center"},
                                                            {ctl::kEtchedLine, "etched"},
                                                            {ctl::kSingleSelection, "single"},
                                                            {ctl::kNoSortHeader, "nosortheader"}};
  std::string names;
  for (const auto& [bit, name] : kNames) {
    if (!(style & bit)) continue;
    names += std::string(" ") + name;
    style &= ~bit;
  }
  if (style) {
    char rest[16];
    std::snprintf(rest, sizeof rest, " 0x%x", static_cast<unsigned>(style));
    names += rest;
  }
  return names;
}

inline std::vector<std::string> LayoutLines(const DialogTemplate& t) {
  std::vector<std::string> lines = {std::to_string(t.resourceId) + " \"" + t.caption + "\" " +
                                    std::to_string(t.width) + "x" + std::to_string(t.height) + " " +
                                    t.font + " " + std::to_string(t.pointSize)};
  for (const ControlTemplate& c : t.controls) {
    std::string line = KindName(c.kind) + " \"" + c.text + "\" " + std::to_string(c.x) + "," +
                       std::to_string(c.y) + " " + std::to_string(c.width) + "x" +
                       std::to_string(c.height) + StyleNames(c.style);
    if (c.id == kIdOk) line += " ok";
    if (c.id == kIdCancel) line += " cancel";
    lines.push_back(line);
  }
  return lines;
}

}  // namespace tarvex::testing

#endif  // TARVEX_TESTING_DIALOG_LAYOUT_H_
