#pragma once
// Text for CSV and JSON output: a field quoted as CSV needs it, a JSON
// string, and a share written so that it reads back as the same double.
#include <string>
#include <string_view>

namespace zub {

// Appends `field`, in double quotes (each quote doubled) when it holds a
// quote, a comma, a line break or a carriage return.
void append_csv_field(std::string& out, std::string_view field);

// Appends `text` as a JSON string. Valid UTF-8 is kept; quotes, backslashes
// and control characters are escaped; a byte that is not part of valid
// UTF-8 is read as Latin-1 (\u00XX), so that the output is always valid JSON.
void append_json_string(std::string& out, std::string_view text);

// Appends `text` for a message: every control byte (below 0x20, and 0x7f)
// as \xHH, so that a NUL does not cut the message and the terminal shows
// what the bytes were; a backslash as \\; every other byte as it is.
void append_message_text(std::string& out, std::string_view text);

// Appends count / total (0 when total is 0) in the shortest form that reads
// back as the same double.
void append_share(std::string& out, long long count, long long total);

// Appends a double in the shortest form that reads back as the same value;
// infinity as `inf`.
void append_double(std::string& out, double value);

}  // namespace zub
