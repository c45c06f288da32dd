#include "console/console_program.h"

#include <iostream>

int main() { return runConsoleCalibrator(std::cin, std::cout); }
