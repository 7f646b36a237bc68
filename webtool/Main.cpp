// Entry of the web page tool.
#include <windows.h>

#include "ToolWin.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  return vistrel::runTool(instance, vistrel::processCommandLine(), showCommand);
}
