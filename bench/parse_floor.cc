// The validation floor: the least any caller of the command can pay, since a
// snapshot that does not decode is fatal for every caller. Reads the file and
// parses it whole with the vectorised parser's DOM interface, which checks
// every byte of it, and keeps nothing. Shares no code with the command.
//
//   vt_parse_floor FILE
#include <simdjson.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vt_parse_floor FILE\n");
    return 2;
  }
  simdjson::padded_string text;
  if (simdjson::padded_string::load(argv[1]).get(text) != simdjson::SUCCESS) return 1;
  simdjson::dom::parser parser;
  simdjson::dom::element root;
  return parser.parse(text).get(root) == simdjson::SUCCESS ? 0 : 1;
}
