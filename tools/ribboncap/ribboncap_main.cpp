// ribboncap: the ribbon capacity service tool.
#include "CRibbonCapDlg.h"
#include "RunToolProgram.h"

namespace {

constexpr char kDescription[] =
    "Opens the dialog that shows the card printer's serial number and reads and sets its\n"
    "ribbon capacity, General or Large.";

}  // namespace

int main(int argc, char* argv[]) { return RunToolProgram<CRibbonCapDlg>("ribboncap", kDescription, argc, argv); }
