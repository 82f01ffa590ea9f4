#include "report/CommandLine.h"

#include <cstring>

std::optional<int> AnswerInfoOption(int argc, char** argv, std::ostream& out) {
  if (argc < 2) return std::nullopt;
  if (std::strcmp(argv[1], "--version") == 0) {
    out << "vorntools " << VORNTOOLS_VERSION << "\n";
    return 0;
  }
  if (std::strcmp(argv[1], "--help") != 0) return std::nullopt;
  out << "Usage: vorntools [NAME]\n"
         "       vorntools --open FILE [NAME]\n"
         "       vorntools --help | --version\n"
         "\n"
         "Usage Vorntool shows how much disk space each folder occupies, as an\n"
         "expandable tree. Without NAME the window starts on the default settings;\n"
         "with NAME it starts on the named configuration that File > Save\n"
         "Configuration... saved under that name (only the part after the last\n"
         "'/', '\\' or ':' counts).\n"
         "\n"
         "  --open FILE  open a scan file, as File > Open Scan... does: one that\n"
         "               vorntools-scan --export, ncdu -o or gdu -o wrote\n"
         "  --help       show this help\n"
         "  --version    show the version\n"
         "\n"
         "Help > Help... (F1) opens the user guide; vorntools-scan writes the same\n"
         "report for scripts.\n";
  return 0;
}
