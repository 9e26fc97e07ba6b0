#pragma once
// The steps shared by the commands that need the item table for themselves
// (sort order, search and replace): tell whether anybody else holds the data
// file, take the table exclusively, and give it back to the main window
// open shared with the sort tag active, the search filter as the search
// flag says, and the grid set up again.

namespace common {
class MainContext;
}

namespace find {

class ExclusiveUse {
public:
    // Closes the item table, then tells whether another handle (in this
    // program or another) holds its data file. A data file that is gone
    // throws the engine's error of the reopening.
    static bool HeldElsewhere(common::MainContext& context);

    // Closes the item table and opens it for this program alone, with no
    // active index. Engine errors are thrown; the table is then closed and
    // back in shared mode.
    static void OpenExclusive(common::MainContext& context);

    // Closes the item table and opens it shared again on its first record
    // with the sort tag of the current expression active, then re-applies
    // the viewer settings. A failure to open is thrown. A failure of the
    // tag leaves the table open in physical order, the grid set up, and is
    // thrown afterwards.
    static void ReopenShared(common::MainContext& context);
};

}  // namespace find
