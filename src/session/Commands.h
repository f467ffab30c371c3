#pragma once
// Command ids of the main menu, toolbar and accelerators, with the prompt
// and tooltip strings the status bar and the toolbar show for them.

#include "platform/String.h"
#include "platform/Types.h"

enum : UINT {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_PRINT = 57607,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_UNDO = 57643,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,

    ID_FILE_REFRESH = 32784,
    ID_FILE_CLOSE_SESSION = 32786,
    ID_TB_REFRESH = 32794,
    ID_TB_CLOSE = 32795,
    ID_FILE_OPEN_SOURCE = 32805,
    ID_FILE_STOP = 32807,
    ID_TOOLS_SETTINGS = 32815,
    ID_TOOLS_ATTR_ADD = 32818,
    ID_TOOLS_ATTR_DELETE = 32819,
    ID_TOOLS_ATTR_MODIFY = 32820,
    ID_TOOLS_ENTRY_ADD = 32821,
    ID_TOOLS_ENTRY_DELETE = 32822,
    ID_TOOLS_ENTRY_MODIFY = 32823,
    ID_TB_ADD_ATTRIBUTES = 32824,
    ID_TB_DELETE_ATTRIBUTE = 32825,
    ID_TB_MODIFY_ATTRIBUTE = 32826,
    ID_TB_ADD_ENTRY = 32827,
    ID_TB_DELETE_ENTRY = 32828,
    ID_TB_MODIFY_ENTRY = 32829,
    ID_TB_SAVE_LDIF = 32830,
    ID_FILE_SAVE_LDIF = 32833,
    ID_HELP_CONTENTS = 32834,
    ID_EDIT_COPY_LDIF = 32840,
    ID_TOOLS_SEARCH = 32841,
    ID_TOOLS_SCHEMA = 32842,
    ID_TOOLS_SET_PASSWORD = 32843,
    ID_VIEW_OPERATIONAL = 32844,
    ID_FILE_NEW_WINDOW = 32850,
    ID_EDIT_COPY_ENTRY = 32860,
    ID_EDIT_COPY_SUBTREE = 32861,
    ID_FILE_EXPORT_SUBTREE = 32863,
    ID_FILE_IMPORT_LDIF = 32870,
};

// The command's string: the status prompt, then after '\n' the tooltip.
// NULL for a command without a string of its own.
const char* GetCommandString(UINT nID);

// The prompt part and the tooltip part of a command's string; both empty
// for a command without a string, the tooltip empty when there is no '\n'.
CString GetCommandPrompt(UINT nID);
CString GetCommandTip(UINT nID);
