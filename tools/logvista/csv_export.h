// Rows of the event log as comma-separated values (RFC 4180): a header line,
// then one line per row, every line ending in CR LF; a field holding a
// comma, a double quote, CR or LF is quoted, its quotes doubled.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "logvista/log_store.h"

namespace logvista {

std::string CsvField(std::string_view text);

// The header line and the rows' five columns in the given order. Fields are
// written as logged (the channel keeps its blank), so a spreadsheet or a
// script sees exactly what the file holds.
std::string CsvDocument(const std::vector<const Entry*>& rows);

// Writes the document to path, replacing the file whole so that a reader
// never sees half of it; "-" writes to the standard output. False when the
// file could not be written.
bool WriteCsvFile(const std::string& path, const std::vector<const Entry*>& rows);

}  // namespace logvista
