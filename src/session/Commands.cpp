#include "session/Commands.h"

#include <cstring>

const char* GetCommandString(UINT nID) {
    switch (nID) {
    case ID_FILE_REFRESH:
        return "Refresh the connection from selected node";
    case ID_FILE_CLOSE_SESSION:
        return "Closes the current session.\nClose";
    case ID_TB_REFRESH:
        return "Refreshes connection from selected node \nRefresh";
    case ID_TB_CLOSE:
        return "Closes the current connection \nClose";
    case 32797:
        return "Adds an attribute and its value to the existing list";
    case 32798:
        return "Deletes the selected attribute from the list";
    case 32799:
        return "Modifies value of the selected attribute";
    case ID_FILE_OPEN_SOURCE:
        return "Opens the specified Data Source.\nOpen";
    case ID_FILE_STOP:
        return "Stops the current operation \nStop";
    case 32809:
        return "Save the LDAP output into the LDIF file";
    case ID_TOOLS_SEARCH:
        return "Searches the directory below an entry with a filter\nSearch";
    case ID_VIEW_OPERATIONAL:
        return "Shows the attributes the server keeps about each entry, greyed\nOperational Attributes";
    case ID_TOOLS_SET_PASSWORD:
        return "Sets the password of the selected entry\nSet Password";
    case ID_TOOLS_SCHEMA:
        return "Shows the object classes, attribute types, syntaxes and matching rules of the "
               "directory\nSchema";
    case ID_TOOLS_SETTINGS:
        return "Edits the settings for the saving of the directory structure into an Ldif file\nSettings";
    case ID_TB_ADD_ATTRIBUTES:
        return "Add attribute to the selected entry\nAdd Attributes";
    case ID_TB_DELETE_ATTRIBUTE:
        return "Deletes the selected Attribute from the selected entry\nDelete Attribute";
    case ID_TB_MODIFY_ATTRIBUTE:
        return "Edits the selected attribute from the selected entry\nModify Attribute";
    case ID_TB_ADD_ENTRY:
        return "Adds an entry below the selected node \nAdd Entry";
    case ID_TB_DELETE_ENTRY:
        return "Deletes the selected entry\nDelete Entry";
    case ID_TB_MODIFY_ENTRY:
        return "Edit the selected entry\nModify Entry";
    case ID_TB_SAVE_LDIF:
        return "Dumps the directory structure from the current node into a Ldif File \nSave to Ldif";
    case ID_FILE_SAVE_LDIF:
        return "Dumps the directory structure from the selected entries into a LDIF file";
    case ID_APP_EXIT:
        return "Quit the application \nExit";
    case ID_EDIT_COPY_LDIF:
        return "Copies the selected entry as LDIF\nCopy as LDIF";
    case ID_FILE_NEW_WINDOW:
        return "Opens another window with a session of its own\nNew Window";
    case ID_FILE_IMPORT_LDIF:
        return "Applies the entries and changes of an LDIF file to the open server (not to an LDIF "
               "file)\nImport LDIF";
    case ID_EDIT_COPY_ENTRY:
        return "Copies the selected entry, read from the source, to the clipboard as LDIF\nCopy Entry";
    case ID_EDIT_COPY_SUBTREE:
        return "Copies the selected entry and every entry below it to the clipboard as LDIF\nCopy Subtree";
    case ID_FILE_EXPORT_SUBTREE:
        return "Writes the entries below the selected one that match a filter to a file or the clipboard";
    // The framework's own strings for its standard commands.
    case ID_EDIT_CUT:
        return "Cut the selected entry, to move it below the entry where it is pasted\nCut";
    case ID_EDIT_PASTE:
        return "Moves the cut entry below the selected entry, or adds the LDIF entries on the clipboard "
               "there\nPaste";
    case ID_EDIT_COPY:
        return "Copy the selection and put it on the Clipboard\nCopy";
    case ID_APP_ABOUT:
        return "Display program information, version number and copyright\nAbout";
    case ID_NEXT_PANE:
        return "Switch to the next window pane\nNext Pane";
    case ID_PREV_PANE:
        return "Switch back to the previous window pane\nPrevious Pane";
    default:
        return nullptr;
    }
}

CString GetCommandPrompt(UINT nID) {
    const char* psz = GetCommandString(nID);
    if (!psz)
        return CString();
    const char* pszBreak = std::strchr(psz, '\n');
    return pszBreak ? CString(psz, static_cast<int>(pszBreak - psz)) : CString(psz);
}

CString GetCommandTip(UINT nID) {
    const char* psz = GetCommandString(nID);
    const char* pszBreak = psz ? std::strchr(psz, '\n') : nullptr;
    return pszBreak ? CString(pszBreak + 1) : CString();
}
