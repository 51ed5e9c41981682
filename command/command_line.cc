#include "command/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <vector>

#include "base/text.h"
#include "base/utf8.h"

namespace vt::command {
namespace {

// Shows each option's default after its help text, and only the value name
// beside the option itself.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* opt) const override {
    std::string out;
    if (opt->get_type_size() != 0 && !opt->get_type_name().empty()) {
      out += " " + opt->get_type_name();
    }
    return out;
  }
  std::string make_option_desc(const CLI::Option* opt) const override {
    std::string desc = opt->get_description();
    if (!opt->get_default_str().empty()) desc += " [default: " + opt->get_default_str() + "]";
    return desc;
  }
};

// How a usage error words why a value is no unsigned 64-bit integer.
std::string_view describe(base::DecimalFault fault) {
  switch (fault) {
    case base::DecimalFault::empty:
      return "cannot parse integer from empty string";
    case base::DecimalFault::invalid_digit:
      return "invalid digit found in string";
    case base::DecimalFault::out_of_range:
      break;
  }
  return "number too large to fit in target type";
}

std::string usage_error(const CLI::App& app, const std::string& message) {
  return message + "\n" + HelpFormatter().make_usage(&app, app.get_name()) +
         "Run with --help for more information.\n";
}

const CLI::Option* find_option(const CLI::App& app, std::string_view name, bool long_form) {
  for (const CLI::Option* option : app.get_options()) {
    const auto& names = long_form ? option->get_lnames() : option->get_snames();
    for (const auto& candidate : names) {
      if (candidate == name) return option;
    }
  }
  return nullptr;
}

// Brings the argument list into the forms the library reads as written:
// "--name=" with nothing after "=" is an empty value (the library would take
// the next argument instead), and a flag never takes a value ("--json=false").
// Arguments that are values of a preceding option are left alone.
std::vector<std::string> normalize_args(const CLI::App& app, int argc, const char* const* argv) {
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(argc));
  int i = 1;
  // Copies the next argument unchanged: the value of the option before it.
  const auto take_value = [&] {
    if (i + 1 < argc) args.emplace_back(argv[++i]);
  };
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg.starts_with("--")) {
      const std::size_t eq = arg.find('=');
      const std::string name(arg.substr(2, eq == std::string_view::npos ? eq : eq - 2));
      const CLI::Option* option = find_option(app, name, true);
      const bool has_value = eq != std::string_view::npos;
      if (option != nullptr && option->get_items_expected_max() == 0) {
        if (has_value) throw CLI::ArgumentMismatch("--" + name + ": the flag takes no value");
        args.emplace_back(arg);
      } else if (option != nullptr && !has_value) {
        args.emplace_back(arg);
        take_value();
      } else if (option != nullptr && eq + 1 == arg.size()) {
        args.push_back("--" + name);
        args.emplace_back();
      } else {
        args.emplace_back(arg);  // unknown, or a value after "="
      }
    } else {
      args.emplace_back(arg);
      if (arg.size() < 2 || arg[0] != '-') continue;
      for (std::size_t k = 1; k < arg.size(); ++k) {
        const CLI::Option* option = find_option(app, arg.substr(k, 1), false);
        if (option == nullptr) break;
        if (option->get_items_expected_max() != 0) {
          if (k + 1 == arg.size()) take_value();  // value in the next argument
          break;                                  // or attached to the letter
        }
      }
    }
  }
  for (; i < argc; ++i) args.emplace_back(argv[i]);
  // The library takes the arguments in reverse order.
  std::reverse(args.begin(), args.end());
  return args;
}

}  // namespace

const CLI::Validator kUnsigned64(
    [](std::string& value) -> std::string {
      const auto number = base::parse_decimal<std::uint64_t>(value);
      if (number) return {};
      return "invalid value '" + value + "': " + std::string(describe(number.error()));
    },
    "", "u64");

const CLI::Validator kUtf8Text(
    [](std::string& value) -> std::string {
      if (const auto error = base::check_utf8(value)) {
        return "value is not valid UTF-8: " + base::describe(*error);
      }
      return {};
    },
    "", "UTF-8");

void use_help_format(CLI::App& app) {
  app.formatter(std::make_shared<HelpFormatter>());
  app.set_help_flag();  // added again by parse_arguments, after the command's own options
}

std::optional<ParseExit> parse_arguments(CLI::App& app, const std::vector<CLI::Option*>& once,
                                         const std::string& version, int argc,
                                         const char* const* argv) {
  app.set_help_flag("-h,--help", "Print help");
  app.set_version_flag("-V,--version", version, "Print version");

  // The library would keep the last of repeated flags, so each option takes
  // all and is checked below.
  for (auto* option : once) option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);

  try {
    app.parse(normalize_args(app, argc, argv));
    for (auto* option : once) {
      if (option->count() > 1) {
        throw CLI::ArgumentMismatch(option->get_name() +
                                    ": the argument cannot be used multiple times");
      }
    }
  } catch (const CLI::CallForHelp&) {
    return ParseExit{app.help(), "", kExitSuccess};
  } catch (const CLI::CallForVersion& e) {
    return ParseExit{std::string(e.what()) + "\n", "", kExitSuccess};
  } catch (const CLI::ParseError& e) {
    return ParseExit{"", usage_error(app, e.what()), kExitUsage};
  }
  return std::nullopt;
}

}  // namespace vt::command
