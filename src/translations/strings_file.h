// Server message texts from strings.dat, the older override file in the
// server's configuration directory: lines "identifier = value", where the
// value is written as a quoted literal ('text'#13#10).
#pragma once

#include <string>
#include <vector>

#include "translations/message_table.h"

namespace support {

// The table strings.dat works through when given none: the server's messages
// only. Setup's own texts (the program group's name among them) live in the
// default table, which a file in the server's configuration folder must not
// reach.
TMessageTable& ServerMessageTable();

// The server message identifiers, in the order they are registered.
const std::vector<std::string>& ServerMessageIdentifiers();
// The current text of a server message; "" for an identifier that is not one.
std::string ServerMessage(const std::string& identifier);
// Registers every server message with its variable (in ServerMessageTable
// when given no table).
void RegisterServerMessages(TMessageTable* table = nullptr);
// Puts every server message back to its built-in text.
void RestoreServerMessageDefaults();

// Quoted runs are appended when they close (an unclosed run is dropped);
// outside them "#" and decimal digits append that character code modulo 256,
// except code 0; everything else outside runs is ignored.
std::string DecodeQuotedLiteral(const std::string& value);
// Splits one line into identifier (before the first "=") and value (between
// the first and the second "="), both trimmed; false when either is empty.
bool ParseStringsLine(const std::string& line, std::string& identifier, std::string& value);
// Applies every line of a strings.dat text through the table (ServerMessageTable
// when given none).
void ApplyStringsText(const std::string& content, TMessageTable* table = nullptr);

// When strings.dat exists in the directory (with or without its trailing "\"),
// registers the server messages and applies the file, through ServerMessageTable
// when given no table. False when there is no file to apply.
bool LoadStringsFile(const std::string& configDirectory, TMessageTable* table = nullptr);

}  // namespace support
