#include "logvista/csv_export.h"

#include <unistd.h>

#include "platform/file_replace.h"

namespace logvista {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string CsvDocument(const std::vector<const Entry*>& rows) {
  std::string out = "Time,Kind,DVR,Channel,Description\r\n";
  for (const Entry* e : rows) {
    const events::EventRow& r = e->row;
    out += CsvField(r.time) + ',' + CsvField(r.kind) + ',' + CsvField(r.dvr) + ',' + CsvField(r.channel) + ',' +
           CsvField(r.description) + "\r\n";
  }
  return out;
}

bool WriteCsvFile(const std::string& path, const std::vector<const Entry*>& rows) {
  const std::string document = CsvDocument(rows);
  if (path == "-") return platform::WriteAll(STDOUT_FILENO, document);
  return platform::ReplaceFileAtomically(path, document);
}

}  // namespace logvista
