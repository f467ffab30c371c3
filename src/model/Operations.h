#pragma once
// Codes of the operations begun on an entry.

constexpr int OP_EXPAND = 12;
constexpr int OP_ADD_ENTRY = 13;
constexpr int OP_DELETE_ENTRY = 14;
constexpr int OP_READ_ATTRIBUTES = 15;
constexpr int OP_MODIFY_ATTRIBUTE = 16;
constexpr int OP_DELETE_ATTRIBUTE = 17;
constexpr int OP_ADD_ATTRIBUTE = 18;
constexpr int OP_MODIFY_ENTRY = 19;
constexpr int OP_REFRESH = 21;
