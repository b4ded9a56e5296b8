// sensorpos: the sensor position service tool.
#include "CSensorPosDlg.h"
#include "RunToolProgram.h"

int main(int argc, char* argv[]) { return RunToolProgram<CSensorPosDlg>("sensorpos", argc, argv); }
