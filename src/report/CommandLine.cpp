#include "report/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// The options the application object takes for itself, with a value or
// not; it removes them before the program looks at its arguments.
constexpr std::array<std::string_view, 12> kQtOptionsWithValue = {
    "-platform",    "-platformpluginpath", "-platformtheme", "-plugin",
    "-style",       "-stylesheet",         "-session",       "-qwindowgeometry",
    "-qwindowicon", "-qwindowtitle",       "-display",       "-geometry"};
constexpr std::array<std::string_view, 5> kQtFlags = {"-reverse", "-widgetcount", "-nograb",
                                                      "-dograb", "-sync"};

// "-style=fusion": an option with its value in one argument.
bool IsOptionWithValue(const std::string& argument, std::string_view option) {
  return argument.size() > option.size() && argument.compare(0, option.size(), option) == 0 &&
         argument[option.size()] == '=';
}

// The arguments without Qt's own options, as the application object leaves them.
std::vector<std::string> WithoutQtOptions(const std::vector<std::string>& arguments) {
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (i > 0 && std::any_of(kQtOptionsWithValue.begin(), kQtOptionsWithValue.end(),
                             [&](std::string_view option) { return argument == option; })) {
      ++i;  // its value
      continue;
    }
    if (i > 0 &&
        std::any_of(kQtOptionsWithValue.begin(), kQtOptionsWithValue.end(),
                    [&](std::string_view option) { return IsOptionWithValue(argument, option); })) {
      continue;
    }
    if (i > 0 && std::find(kQtFlags.begin(), kQtFlags.end(), argument) != kQtFlags.end()) continue;
    kept.push_back(argument);
  }
  return kept;
}

void WriteUsage(std::ostream& out) {
  out << "Usage: vorntools [NAME]\n"
         "       vorntools --open FILE [NAME]\n"
         "       vorntools -h | --help | --version\n"
         "\n"
         "Usage Vorntool shows how much disk space each folder occupies, as an\n"
         "expandable tree. Without NAME the window starts on the default settings;\n"
         "with NAME it starts on the named configuration that File > Save\n"
         "Configuration... saved under that name (only the part after the last\n"
         "'/', '\\' or ':' counts).\n"
         "\n"
         "  --open FILE  open a scan file, as File > Open Scan... does: one that\n"
         "               vorntools-scan --export, ncdu -o or gdu -o wrote\n"
         "  -h, --help   show this help\n"
         "  --version    show the version\n"
         "\n"
         "Help > Help... (F1) opens the user guide; vorntools-scan writes the same\n"
         "report for scripts.\n";
}

TStartRequest UsageError(std::ostream& err, const std::string& problem) {
  err << "vorntools: " << problem << "\n"
      << "Try 'vorntools --help' for more information.\n";
  TStartRequest request;
  request.exitStatus = 2;
  return request;
}

bool IsOption(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '-';
}

}  // namespace

TStartRequest ReadCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                              std::ostream& err) {
  const std::vector<std::string> args = WithoutQtOptions(arguments);
  TStartRequest request;
  if (args.size() < 2) return request;
  const std::string& first = args[1];
  if (first == "--version") {
    out << "vorntools " << VORNTOOLS_VERSION << "\n";
    request.exitStatus = 0;
    return request;
  }
  if (first == "-h" || first == "--help") {
    WriteUsage(out);
    request.exitStatus = 0;
    return request;
  }
  if (first == "--open") {
    if (args.size() < 3) return UsageError(err, "option '--open' needs a scan file");
    request.openFile = args[2];
    request.namePosition = 3;
    if (args.size() > 3 && IsOption(args[3]))
      return UsageError(err, "unknown option '" + args[3] + "'");
    return request;
  }
  if (IsOption(first)) return UsageError(err, "unknown option '" + first + "'");
  return request;
}
