// ribboncap: the ribbon capacity service tool.
#include "CRibbonCapDlg.h"
#include "RunToolProgram.h"

int main(int argc, char* argv[]) { return RunToolProgram<CRibbonCapDlg>("ribboncap", argc, argv); }
