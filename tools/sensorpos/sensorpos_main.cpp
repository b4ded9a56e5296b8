// sensorpos: the sensor position service tool.
#include "CSensorPosDlg.h"
#include "RunToolProgram.h"

namespace {

constexpr char kDescription[] =
    "Opens the dialog that reads and sets the card printer's sensor position, OLD or NEW.";

}  // namespace

int main(int argc, char* argv[]) { return RunToolProgram<CSensorPosDlg>("sensorpos", kDescription, argc, argv); }
