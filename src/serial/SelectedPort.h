#pragma once
// The COM port number the user selected (process-wide, held for the application object;
// 0 at program start).

namespace fw {

int SelectedPortNumber();
void SetSelectedPortNumber(int portNumber);

}  // namespace fw
