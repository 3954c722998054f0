#include "cli/printer.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarvex {
namespace {

// One document with what the commands use: nested maps and lists, empty
// ones, values only one form shows, and text that JSON must escape.
std::string Print(bool json) {
  std::ostringstream out;
  std::unique_ptr<Printer> p = MakePrinter(json, out);
  for (const char* file : {"a \"quoted\"\\name", "b"}) {
    p->BeginMap();
    p->Key("file", {"", ": "});
    p->String(file);
    p->Key("hidden");
    p->BeginList();
    p->BeginMap();
    p->Key("name", {""});
    p->String("never shown as text");
    p->End();
    p->End();
    p->Key("empty", {""});
    p->BeginList();
    p->End();
    p->Key("words", {"", ","});
    p->BeginList();
    p->String("tab\there");
    p->String("line\r\n");
    p->End();
    p->Text("|");
    p->Key("on", {" on=", ""});
    p->Bool(true);
    p->Key("count", {" n=", "\n"});
    p->Integer(-3);
    p->End();
  }
  return out.str();
}

TEST(Printer, TextAndJsonFormsOfOneDocument) {
  const std::string one =
      "{\"file\":%,\"hidden\":[{\"name\":\"never shown as text\"}],\"empty\":[],"
      "\"words\":[\"tab\\there\",\"line\\r\\n\"],\"on\":true,\"count\":-3}\n";
  std::string json;
  for (const char* file : {"\"a \\\"quoted\\\"\\\\name\"", "\"b\""}) {
    std::string line = one;
    json += line.replace(line.find('%'), 1, file);
  }
  EXPECT_EQ(Print(true), json);
  EXPECT_EQ(Print(false),
            "a \"quoted\"\\name: tab\there,line\r\n,| on=on n=-3\n"
            "b: tab\there,line\r\n,| on=on n=-3\n");
}

}  // namespace
}  // namespace tarvex
