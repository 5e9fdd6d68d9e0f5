#include "string_table.h"

#include <unordered_map>

namespace velmora {
namespace {

// Command prompts read "status bar text\ntool tip".
const std::unordered_map<int, std::string>& table() {
    static const std::unordered_map<int, std::string> strings = {
        {100, "OLE initialization failed.  Make sure that the OLE libraries are the correct "
              "version."},
        {101, "Velmora Media Player"},
        {102, "Missing account id"},
        {103, "Missing password"},
        {104, "Windows sockets initialization failed."},
        {105, "Do you want to save it into velmora server?"},
        {106, "Missing or invalid value"},
        {107, "No user information found for this accountid or email address"},
        {108, "Enter either accountid or email address"},
        {109, "Invalid selection"},
        {111, "Access list with the same name already exists"},
        {112, "Enter name of the access list"},
        {113, "Rename the acess list"},
        {114, "This user is already part of this access list"},
        {115, "Invalid drop target"},
        {116, "No access list selected"},
        {117, "Select Access List"},
        {118, "Can't share with yourself"},
        {119, "This accountid is not in velmora database"},
        {120, "Enter the email address where you would like your link sent: "},
        {121, "A hyperlink is now in the clipboard for you to paste into an email or document"},
        {122, "Are you sure you want to delete "},
        {123, "Invalid character in the name"},
        {124, "Failed to find tree node"},
        {125, "Entry under this name already exists"},
        {126, "Invalid file type"},
        {IDR_MAINFRAME, "Velmora Media Player\n\nvelmora_player\n\n\nvelmoraplayer.Document\n"
                        "velmora_player.Document"},
        {129, "This feature is not available to free accounts"},
        {130, "Empty message"},
        {131, "Email was sucessfully sent"},
        {132, "Email sent with errors"},
        {133, "This feature is only available to 'gold' and 'platinum' accounts"},
        {134, "This folder contains a file named "},
        {135, "Invalid folder selection"},

        {AFX_IDS_APP_TITLE, "velmora_player"},
        {AFX_IDS_IDLEMESSAGE, "Ready"},
        {ID_INDICATOR_CAPS, "CAP"},
        {ID_INDICATOR_NUM, "NUM"},
        {ID_INDICATOR_SCRL, "SCRL"},

        // Command prompts of the menu, toolbar and accelerator commands.
        {57600, "Create a new document\nNew"},
        {57601, "Open an existing media\nopen"},
        {57603, "Save the selected media\nSave"},
        {57634, "Copy the selection and put it on the Clipboard\nCopy"},
        {57635, "Cut the selection and put it on the Clipboard\nCut"},
        {57637, "Insert Clipboard contents\nPaste"},
        {57643, "Undo the last action\nUndo"},
        {57653, "Split the active window into panes\nSplit"},
        {57664, "Display program information, version number and copyright\nAbout"},
        {57665, "Quit the application\nExit"},
        {57680, "Switch to the next window pane\nNext Pane"},
        {57681, "Switch back to the previous window pane\nPrevious Pane"},
        {59392, "Show or hide the toolbar\nToggle ToolBar"},
        {59393, "Show or hide the status bar\nToggle StatusBar"},
        {32771, "Set the service host, port and player options\nOptions"},
        {32772, "Manage access lists and share folders\nAccess Lists"},
    };
    return strings;
}

} // namespace

std::string LoadString(int id) {
    const auto& t = table();
    auto it = t.find(id);
    return it == t.end() ? std::string() : it->second;
}

bool HasString(int id) {
    return table().count(id) != 0;
}

} // namespace velmora
