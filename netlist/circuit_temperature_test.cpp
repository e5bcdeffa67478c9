#include "netlist/circuit_temperature.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

namespace etherm {
namespace {

TEST(CircuitTemperature, TheCircuitsOwnSetting) {
  const struct {
    const char* what;
    const char* circuit;
    std::optional<std::string> setting;
  } cases[] = {
      {"none", "t\r\nR1 1 0 1k\r\n.OPTIONS RELTOL=1e-4\r\n.END\r\n", std::nullopt},
      {"an options entry", "t\r\nR1 1 0 1k\r\n.options reltol=1e-4 temp=50\r\n.END\r\n", "temp=50"},
      {"blanks around the sign", "t\nR1 1 0 1k\n.OPTION TEMP = 50\n.END\n", "TEMP = 50"},
      {"on a continuation line", "t\r\n.OPT RELTOL=1e-4\r\n+ TEMP=-10\r\n.END\r\n", "TEMP=-10"},
      {"a .TEMP line", "t\r\n.temp 85\r\n.END\r\n", ".temp 85"},
      {"TNOM is not TEMP", "t\r\n.OPTIONS TNOM=27\r\n.END\r\n", std::nullopt},
      {"inside a subcircuit", "t\r\n.SUBCKT A 1\r\n.OPTIONS TEMP=50\r\n.ENDS\r\n.END\r\n",
       std::nullopt},
      {"in a comment", "t\r\n* .OPTIONS TEMP=50\r\nR1 1 0 1 ; .TEMP 3\r\n.END\r\n", std::nullopt},
      {"the title only looks like one", ".OPTIONS TEMP=50\r\n.END\r\n", std::nullopt},
      {"after .END", "t\r\n.END\r\n.OPTIONS TEMP=50\r\n", std::nullopt},
  };
  const std::string name = "circuit_temperature_test.cir";
  for (const auto& c : cases) {
    std::ofstream(name, std::ios::binary) << c.circuit;
    EXPECT_EQ(CircuitTemperatureSetting(name), c.setting) << c.what;
  }
  std::remove(name.c_str());
  EXPECT_EQ(CircuitTemperatureSetting("no such circuit.cir"), std::nullopt);
}

TEST(CircuitTemperature, OptionsLine) {
  EXPECT_EQ(CircuitTemperatureLine(40.15), ".OPTIONS TEMP=40.15");
  EXPECT_EQ(CircuitTemperatureLine(-10), ".OPTIONS TEMP=-10");
}

}  // namespace
}  // namespace etherm
