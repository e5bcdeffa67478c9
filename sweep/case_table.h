#pragma once
// The table of cases a sweep runs: a header `case,<quantity>,...` and one row per case with its
// name and one value per quantity.

#include <string>
#include <string_view>
#include <vector>

namespace etherm::sweep {

// What a column of the table changes.
struct Quantity {
  enum class Kind {
    kParameter,         // a .PARAM of the circuit: `vin`
    kOwnResistance,     // a device's own thermal resistance: `rth:Q1`
    kMutualResistance,  // the coupling entry of Q1 for Q2: `rth:Q1:Q2`
    kEndTime,           // transient end time: `end`
    kSweepStart,        // DC sweep: `start`, `step`, `stop`
    kSweepStep,
    kSweepStop,
    kAmbient,  // the ambient temperature (degrees Celsius) etherm-batch is given: `ambient`
  };
  Kind kind = Kind::kParameter;
  std::string name;    // the column header as written
  std::string device;  // resistances: the device, as named in the problem file
  std::string other;   // mutual resistance: the coupled device
};

// Reads a header word; throws Failure for words of no kind ("rth:" without a device, a
// parameter name that is not a SPICE identifier).
Quantity ParseQuantity(std::string_view name);

// The value a cell stands for, or false when it is not a number of the kind the quantity takes:
// circuit parameters take SPICE numbers ("10k", "2.5m"), problem-file fields the numbers the
// problem file itself reads ("1e-3"). Infinities and NaN are no numbers.
bool QuantityValue(const Quantity& quantity, std::string_view cell, double* value);

// The shortest text that reads back as the same double, in a form both the problem file and
// ngspice read ("25", "0.001", "1e+20").
std::string NumberText(double value);

struct Case {
  std::string name;
  std::vector<std::string> values;  // as written, one per quantity
  std::vector<double> numbers;      // their values
};

struct CaseTable {
  std::vector<Quantity> quantities;
  std::vector<Case> cases;
};

// Cells are separated by commas; blanks around them, CR LF and empty lines are ignored, and a
// line starting with '#' is a comment. Throws Failure naming the file and line for: a header
// not starting with `case`, no quantity, a quantity twice, a row with another number of cells
// than the header, a value that is no number, a case name that is empty or not safe as a folder
// name, a name twice, a table without cases.
CaseTable ParseCaseTable(std::string_view text, const std::string& fileName);

// The table as ParseCaseTable reads it back, with LF line ends: the copy a sweep keeps.
std::string CaseTableText(const CaseTable& table);

// Files the sweep keeps in cases/ beside the case folders; no case may take their names.
inline constexpr const char* kCaseListFile = "cases.csv";
inline constexpr const char* kJobLogFile = "joblog";
inline constexpr const char* kSlurmScriptFile = "sweep.sbatch";
inline constexpr const char* kCommandFile = "commands";

}  // namespace etherm::sweep
