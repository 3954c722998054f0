#include "host/store_objects.h"

#include "mail/message_text.h"
#include "mail/mime_message.h"

namespace tarvex::host_store {
namespace {

HostEvent Event(int32_t number) {
  HostEvent event;
  event.number = number;
  return event;
}

}  // namespace

HostEvent NewMessageEvent(int32_t id) {
  HostEvent arrival = Event(event::kOnNewMessage);
  arrival.arguments.push_back(HostVariant::Integer(id));
  return arrival;
}

HostEvent InitEvent() { return Event(event::kOnInitOEAPI); }
HostEvent ShutdownEvent() { return Event(event::kOnShutdownOEAPI); }

void ReadHeaderValue(std::string_view head, const std::string& name, std::string* value,
                     int32_t* found) {
  value->clear();
  *found = 0;
  const std::string_view block = head.substr(0, mail::LayOut(head).header_end);
  for (const mail::HeaderField& field : mail::HeaderFields(block)) {
    if (mail::SameFieldName(field.name, name)) {
      *value = mail::PresentedHeaderValue(name, mail::UnfoldedValue(block, field));
      *found = 1;
      return;
    }
  }
}

std::pair<std::string, std::string> StagedHeader(const std::string& name,
                                                 const std::string& value) {
  if (!mail::IsValidFieldName(name)) {
    Throw(status::kInvalidArgument, Quoted(name) + " cannot be a header name.");
  }
  std::string_view line = value;
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!mail::IsValidFieldValue(line)) {
    Throw(status::kInvalidArgument, "A header value must be one line.");
  }
  return {name, std::string(line)};
}

std::string HeaderBlockText(std::string_view head) {
  return mail::ValidUtf8(head.substr(0, mail::LayOut(head).header_end));
}

std::string BodyTextOf(std::string_view message) { return mail::BodyText(message); }

}  // namespace tarvex::host_store
