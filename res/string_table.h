#pragma once

#include <string>

namespace velmora {

// Ids of the framework's own strings that the program shows.
enum StandardStringId : int {
    IDR_MAINFRAME = 128,
    AFX_IDS_APP_TITLE = 57344,
    AFX_IDS_IDLEMESSAGE = 57345,
    ID_INDICATOR_CAPS = 59137,
    ID_INDICATOR_NUM = 59138,
    ID_INDICATOR_SCRL = 59139,
};

// The text of a string-table id; an empty text when the table has no such id,
// as the platform's LoadString gives nothing for an unknown id.
std::string LoadString(int id);

// True when the table holds the id.
bool HasString(int id);

} // namespace velmora
