// Each device model family takes the temperature of its T_ABS, or the run is refused. The
// reference is ngspice itself with the whole circuit at that temperature (.options temp=), which
// puts the device at that temperature whatever parameter its model offers.

#include <gtest/gtest.h>

#include <cmath>

#include "sim_test_util.h"

namespace etherm::sim::test {
namespace {

struct Family {
  const char* name;
  const char* element;  // between node 2 (fed from 5 V through 1 kOhm) and ground; gate at 3
  const char* model;    // with T_ABS as first parameter, written "t_abs=%T "
  bool transient;
};

std::string WithTemperature(std::string model, const std::string& text) {
  size_t p = model.find("%T");
  return p == std::string::npos ? model : model.replace(p, 2, text);
}

std::string Circuit(const Family& f, const std::string& model, const std::string& options) {
  std::string s = std::string("family ") + f.name + "\n" + options +
                  (f.transient ? "V1 1 0 PULSE(0 5 0 1n 1n 1 2)\n" : "V1 1 0 DC 5\n") +
                  "R9 1 2 1k\nV3 3 0 DC 3\n" + f.element + "\n" + model + "\n" +
                  (f.transient ? ".tran 10n 1u\n" : ".dc V1 5 5 1\n");
  return s;
}

double Reference(const ScratchDir& dir, const Family& f, double celsius) {
  std::string model = WithTemperature(f.model, "");
  size_t p = model.find("t_abs= ");
  model.erase(p, 7);
  std::string deck = Circuit(f, model, ".options temp=" + std::to_string(celsius) + "\n") +
                     ".control\nrun\nset wr_singlescale\nset wr_vecnames\noption numdgt=15\n"
                     "wrdata ref.txt v(2)\n.endc\n.end\n";
  std::vector<double> v = RunNgspiceReference(dir, deck)["v(2)"];
  return v.empty() ? NAN : v.back();
}

double ViaTAbs(const ScratchDir& dir, const Family& f, const std::string& celsius,
               const std::string& options = "") {
  dir.Write("f.cir", Circuit(f, WithTemperature(f.model, celsius), options) + ".PROBE V(2)\n");
  EXPECT_EQ(RunEthermSim(dir, "f.cir"), 0) << f.name << "\n" << dir.Read("f.out");
  Csdf d = ReadCsdf(dir.Read("f.csd"));
  return d.x.empty() ? NAN : d.Column("V(2)").back();
}

TEST(EthermSimTemperature, EveryModelFamilyTakesItsTemperatureOrIsRefused) {
  const Family taking[] = {
      {"resistor", "R1 2 0 RM L=10u W=1u", ".model RM R(t_abs=%T RSH=100 TC1=0.01)", false},
      {"capacitor", "C1 2 0 CM", ".model CM C(t_abs=%T CAP=1n TC1=0.01)", true},
      {"inductor", "L1 2 0 LM", ".model LM L(t_abs=%T IND=1m TC1=0.01)", true},
      {"diode", "D1 2 0 DM", ".model DM D(t_abs=%T IS=1e-14)", false},
      {"BJT Gummel-Poon", "Q1 2 2 0 QM", ".model QM NPN(t_abs=%T IS=1e-15)", false},
      {"BJT VBIC", "Q1 2 2 0 QM", ".model QM NPN(t_abs=%T LEVEL=4)", false},
      {"BJT HICUM", "Q1 2 2 0 0 QM", ".model QM NPN(t_abs=%T LEVEL=8)", false},
      {"JFET", "J1 2 0 0 JM", ".model JM NJF(t_abs=%T VTO=-2 BETA=1e-4 VTOTC=-2.5m BETATCE=-0.5)",
       false},
      // Parker-Skellern: its gate junction carries the temperature; the gate is forward biased.
      {"JFET level 2", "J1 0 2 0 JM", ".model JM NJF(t_abs=%T LEVEL=2 VTO=-2 BETA=1e-4 IS=1e-14)",
       false},
      {"MOSFET level 1", "M1 2 3 0 0 MM W=10u L=1u",
       ".model MM NMOS(t_abs=%T LEVEL=1 VTO=1 KP=1e-4)", false},
      {"MOSFET level 2", "M1 2 3 0 0 MM W=10u L=1u",
       ".model MM NMOS(t_abs=%T LEVEL=2 VTO=1 KP=1e-4)", false},
      {"MOSFET level 3", "M1 2 3 0 0 MM W=10u L=1u",
       ".model MM NMOS(t_abs=%T LEVEL=3 VTO=1 KP=1e-4)", false},
      {"VDMOS", "M1 2 3 0 MM", ".model MM VDMOS(t_abs=%T VTO=2 KP=1)", false},
      {"HiSIM-HV (dtemp)", "M1 2 3 0 0 MM W=20u L=2u", ".model MM NMOS(t_abs=%T LEVEL=73)", false},
  };
  for (const Family& f : taking) {
    ScratchDir dir;
    const double at50 = Reference(dir, f, 50), at100 = Reference(dir, f, 100);
    EXPECT_GT(std::fabs(at100 - at50), 1e-4 * std::fabs(at50))
        << f.name << ": no temperature effect";
    EXPECT_NEAR(ViaTAbs(dir, f, "50"), at50, 1e-6 * std::fabs(at50)) << f.name;
    EXPECT_NEAR(ViaTAbs(dir, f, "100.000"), at100, 1e-6 * std::fabs(at100)) << f.name;
  }

  const struct {
    Family family;
    const char* says;
  } refused[] = {
      {{"MESFET", "Z1 2 3 0 ZM", ".model ZM NMF(t_abs=%T LEVEL=1)", false},
       "model ZM (type NMF, level 1): device Z1 takes neither"},
      {{"BSIM3", "M1 2 3 0 0 MM W=10u L=1u", ".model MM NMOS(t_abs=%T LEVEL=8 VERSION=3.3.0)",
        false},
       "model MM (type NMOS, level 8): device M1 takes neither"},
      {{"BSIM4", "M1 2 3 0 0 MM W=10u L=1u", ".model MM NMOS(t_abs=%T LEVEL=14 VERSION=4.8.1)",
        false},
       "model MM (type NMOS, level 14): device M1 takes neither"},
      {{"BSIM-SOI", "M1 2 3 0 0 MM W=10u L=1u", ".model MM NMOS(t_abs=%T LEVEL=10)", false},
       "model MM (type NMOS, level 10): device M1 takes neither"},
  };
  for (const auto& r : refused) {
    ScratchDir dir;
    dir.Write("f.cir",
              Circuit(r.family, WithTemperature(r.family.model, "77.000"), "") + ".PROBE V(2)\n");
    EXPECT_NE(RunEthermSim(dir, "f.cir"), 0) << r.family.name;
    EXPECT_FALSE(dir.Exists("f.csd")) << r.family.name;
    std::string listing = dir.Read("f.out");
    EXPECT_NE(listing.find(std::string("line 6: ngspice cannot set the temperature of each device "
                                       "of ") +
                           r.says),
              std::string::npos)
        << r.family.name << "\n"
        << listing;
  }
}

TEST(EthermSimTemperature, DtempCountsFromTheCircuitTemperature) {
  // HiSIM-HV offers only dtemp=; the circuit runs at 40 C, the device at its own T_ABS.
  const Family hv{"HiSIM-HV", "M1 2 3 0 0 MM W=20u L=2u", ".model MM NMOS(t_abs=%T LEVEL=73)",
                  false};
  ScratchDir dir;
  EXPECT_NEAR(ViaTAbs(dir, hv, "90", ".OPTIONS TEMP=40\n"), Reference(dir, hv, 90), 1e-6);
  // The same model inside a subcircuit, its temperature an expression of the call's parameter.
  const Family sub{"HiSIM-HV in a subcircuit",
                   "X1 2 3 HV PARAMS: t=  90.000\n.SUBCKT HV d g PARAMS: t=27\nM1 d g 0 0 MM W=20u "
                   "L=2u\n.model MM NMOS(T_ABS={t} LEVEL=73)\n.ENDS",
                   "", false};
  dir.Write("s.cir", Circuit(sub, "", ".options temp=40\n") + ".PROBE V(2)\n");
  ASSERT_EQ(RunEthermSim(dir, "s.cir"), 0) << dir.Read("s.out");
  EXPECT_NEAR(ReadCsdf(dir.Read("s.csd")).Column("V(2)").at(0), Reference(dir, hv, 90), 1e-6);
  EXPECT_NE(dir.Read("s.out").find("dtemp={(t)-(40)}"), std::string::npos) << dir.Read("s.out");
}

}  // namespace
}  // namespace etherm::sim::test
