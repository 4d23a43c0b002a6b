// The machine-readable output of every command: one record per line, fields separated by tabs,
// a header line first. Tabs, line breaks and backslashes inside a field are written as \t, \n
// (\r for a carriage return) and \\, so that every record keeps its fields and its one line.
// Standard output, from the main thread only.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Writes one record.
void PrintRecord(std::initializer_list<std::string_view> fields);
// Writes out the records printed so far.
void FlushRecords();

// The shortest text that reads back as the same double ("3000", "0.0213", "1e+21").
std::string FormatNumber(double value);

// A 32-bit code as eight upper-case hexadecimal digits after 0x.
std::string FormatHex(long value);
