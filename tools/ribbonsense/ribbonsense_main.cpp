// ribbonsense: the ribbon sensor service tool.
#include "CRibbonSenseDlg.h"
#include "RunToolProgram.h"

namespace {

constexpr char kDescription[] =
    "Opens the dialog that checks the card printer's ribbon sensor over up to 100 readings\n"
    "and sets it.";

}  // namespace

int main(int argc, char* argv[]) { return RunToolProgram<CRibbonSenseDlg>("ribbonsense", kDescription, argc, argv); }
