#include <iostream>
#include <string>
#include <vector>

#include <pelagon/app/dsr_commands.h>

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return pelagon::dsr::Run(args, std::cout, std::cerr);
}
