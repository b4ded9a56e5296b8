// ribbonsense: the ribbon sensor service tool.
#include "CRibbonSenseDlg.h"
#include "RunToolProgram.h"

int main(int argc, char* argv[]) { return RunToolProgram<CRibbonSenseDlg>("ribbonsense", argc, argv); }
