// The network code's text work that needs no sockets: dotted IPv4 hosts and
// the traffic report.
#include "NetClient.h"

#include <cstdio>

bool IsDottedAddress(const std::string& text) {
  if (text.empty()) return false;
  int dots = 0;
  for (char c : text) {
    if (c == '.') {
      ++dots;
    } else if (!(c >= '0' && c <= '9') && c != ' ') {
      return false;
    }
  }
  return dots == 3;
}

void ParseDottedAddress(const std::string& text, unsigned char address[4]) {
  size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    // Like atoi: leading blanks skipped, digits up to the first other
    // character, an empty part is 0. Only the low 8 bits are kept, so the
    // sum may wrap without changing the result.
    while (pos < text.size() && text[pos] == ' ') ++pos;
    uint32_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') value = value * 10 + (text[pos++] - '0');
    address[part] = static_cast<unsigned char>(value & 0xFF);
    size_t dot = text.find('.', pos);
    pos = dot == std::string::npos ? text.size() : dot + 1;
  }
}

namespace {
// MiB from 8 MiB up, KiB above 100 KiB, else bytes; no blank before MB/KB.
std::string TotalText(uint32_t total, const char* end) {
  char buffer[48];
  if ((total >> 20) >= 8) {
    std::snprintf(buffer, sizeof buffer, "%uMB%s", static_cast<unsigned>(total >> 20), end);
  } else if ((total >> 10) > 100) {
    std::snprintf(buffer, sizeof buffer, "%uKB%s", static_cast<unsigned>(total >> 10), end);
  } else {
    std::snprintf(buffer, sizeof buffer, "%u bytes%s", static_cast<unsigned>(total), end);
  }
  return buffer;
}
}  // namespace

std::string TrafficReportText(uint32_t bytesSent, uint32_t bytesReceived) {
  return "Network connection:\n  -Total data sent: " + TotalText(bytesSent, "\n") +
         "  -Total data received: " + TotalText(bytesReceived, "\n\n");
}
