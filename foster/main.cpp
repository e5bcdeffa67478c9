// etherm-foster: the thermal impedance terms of a device line of the transient problem file,
// from a measured curve, a maker's Foster table or a Cauer ladder.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foster/cauer.h"
#include "foster/foster_fit.h"
#include "foster/foster_network.h"
#include "foster/table_file.h"
#include "textio/failure.h"

namespace {

constexpr const char* kHelp =
    "usage: etherm-foster fit [--terms N] [--name NAME] [--terminals N] CURVE.csv\n"
    "       etherm-foster foster [--terms N] [--name NAME] [--terminals N] TABLE.csv\n"
    "       etherm-foster cauer [--terms N] [--name NAME] [--terminals N] LADDER.csv\n"
    "\n"
    "Prints the device line of a transient problem file (name, terminals, term count, own\n"
    "resistance, weight and time constant of each term, 0 coupling entries), followed by how\n"
    "close it is, for Zth(t) = R * sum a_k (1 - exp(-t / tau_k)).\n"
    "\n"
    "  fit     CURVE.csv holds t (s) and Zth (K/W), e.g. read off a datasheet plot; fits 1 to 4\n"
    "          terms and reports the largest relative error over the points\n"
    "  foster  TABLE.csv holds a maker's R_i (K/W) and tau_i (s)\n"
    "  cauer   LADDER.csv holds a Cauer ladder's R_i (K/W) and C_i (J/K), from the junction\n"
    "          outwards; converted exactly to Foster terms\n"
    "\n"
    "Files: two numbers a line, separated by commas, blanks or tabs; '#' starts a comment; the\n"
    "first line may be a header of words (a line with a number in it is read as numbers).\n"
    "  --terms N      1 to 4; fit: exactly N terms (default: the fewest with an error under\n"
    "                 1 %, else the best); foster, cauer: more terms than N (default 4) are\n"
    "                 reduced to N by a fit of their curve\n"
    "  --name NAME    device name, 1 to 7 characters (default Q1)\n"
    "  --terminals N  number of terminals, 2 to 11 (default 3)\n";

struct Options {
  std::string command;
  std::string file;
  int terms = 0;
  std::string name = "Q1";
  int terminals = 3;
};

struct UsageError {
  std::string text;
};

int Integer(const std::string& option, const std::string& text, int lo, int hi) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < lo || value > hi) {
    throw UsageError{option + " takes a whole number from " + std::to_string(lo) +
                     (hi == 1000 ? " up" : " to " + std::to_string(hi)) + ", not \"" + text + "\""};
  }
  return static_cast<int>(value);
}

Options Parse(const std::vector<std::string>& args) {
  Options options;
  if (args.empty()) throw UsageError{"no command given"};
  options.command = args[0];
  if (options.command != "fit" && options.command != "foster" && options.command != "cauer") {
    throw UsageError{"unknown command \"" + options.command + "\""};
  }
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg.starts_with("--")) {
      std::string value;
      const std::size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        arg.resize(equals);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        throw UsageError{arg + " needs a value"};
      }
      if (arg == "--terms") {
        options.terms = Integer(arg, value, 1, etherm::kMaxFosterTerms);
      } else if (arg == "--terminals") {
        // The problem file takes at most 11 terminals a device.
        options.terminals = Integer(arg, value, 2, 11);
      } else if (arg == "--name") {
        // The problem file reader takes at most 7 characters and stops at a blank.
        bool printable = !value.empty() && value.size() <= 7;
        for (unsigned char c : value) printable = printable && c > ' ';
        if (!printable) {
          throw UsageError{"--name takes 1 to 7 characters without blanks, not \"" + value + "\""};
        }
        options.name = value;
      } else {
        throw UsageError{"unknown option " + arg};
      }
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      throw UsageError{"one file only; \"" + arg + "\" is one too many"};
    }
  }
  if (options.file.empty()) throw UsageError{"no file given"};
  return options;
}

std::string Percent(double fraction) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g %%", fraction * 100);
  return text;
}

std::string TermsText(std::size_t terms) {
  return std::to_string(terms) + (terms == 1 ? " term" : " terms");
}

// Progress on standard error, so the device line stays alone on standard output.
void ReportTry(int terms, const etherm::FosterFit& fit) {
  std::string text =
      TermsText(terms) + ": largest relative error " + Percent(fit.largestRelativeError);
  if (fit.network.size() < static_cast<std::size_t>(terms)) {
    text += " (" + std::to_string(terms - fit.network.size()) + " of them without effect)";
  }
  std::fprintf(stderr, "%s\n", text.c_str());
}

// The device line and, after it where the problem file reader ignores it, how close it is.
std::string Run(const Options& options) {
  if (options.command == "fit") {
    const etherm::Curve curve = etherm::ReadCurve(options.file);
    etherm::FosterFit fit;
    try {
      fit = etherm::FitFoster(curve, options.terms, ReportTry);
    } catch (const etherm::Failure& failure) {
      throw etherm::Failure(options.file + ": " + failure.what());
    }
    return etherm::DeviceLine(fit.network, options.name, options.terminals) +
           "    largest relative error " + Percent(fit.largestRelativeError) + " over " +
           std::to_string(curve.size()) + " points";
  }
  const etherm::FosterNetwork exact =
      options.command == "foster" ? etherm::Normalized(etherm::ReadFosterTable(options.file))
                                  : etherm::CauerToFoster(etherm::ReadCauerLadder(options.file));
  const int most = options.terms > 0 ? options.terms : etherm::kMaxFosterTerms;
  if (static_cast<int>(exact.size()) <= most) {
    return etherm::DeviceLine(exact, options.name, options.terminals) + "    exact";
  }
  const etherm::Curve curve = etherm::SampledCurve(exact);
  const etherm::FosterFit fit = etherm::FitFoster(curve, options.terms, ReportTry);
  return etherm::DeviceLine(fit.network, options.name, options.terminals) + "    " +
         TermsText(exact.size()) + " fitted by " + TermsText(fit.network.size()) +
         ", largest relative error " + Percent(fit.largestRelativeError) + " over " +
         std::to_string(curve.size()) + " points of their curve";
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
  }
  try {
    const std::string line = Run(Parse(args));
    // CR LF like the problem file, so the line may be appended to one.
    std::printf("%s\r\n", line.c_str());
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      throw etherm::Failure("standard output: " + etherm::IoErrorText(errno));
    }
    return 0;
  } catch (const UsageError& error) {
    std::fprintf(stderr, "etherm-foster: %s\n\n%s", error.text.c_str(), kHelp);
    return 2;
  } catch (const etherm::Failure& failure) {
    std::fprintf(stderr, "etherm-foster: %s\n", failure.what());
    return 1;
  }
}
