#pragma once
// Every value of a decoded snapshot as one text, floats to the bit, so that
// two decodes of a text compare as equal only when they are.
#include <bit>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "gather/snapshot.h"

namespace vt::fuzz {

inline void dump_value(std::string& out, double value) {
  out += ' ' + std::to_string(std::bit_cast<std::uint64_t>(value));
}

// A string with its length first, so that no content reads as another's.
inline void dump_value(std::string& out, const std::string& text) {
  out += ' ' + std::to_string(text.size()) + ':' + text;
}

inline void dump_value(std::string& out, const nlohmann::json& value) {
  out += ' ' + value.dump();
}

template <class Metrics>
void dump_metrics(std::string& out, const Metrics& m) {
  for (const double value : {m.cpu.all, m.io.all, m.iops, m.ep, m.mem, m.pno}) {
    dump_value(out, value);
  }
}

inline std::string dump_snapshot(const gather::SavedTopData& data) {
  std::string out = "timestamp";
  dump_value(out, data.timestamp);
  for (const gather::TopUser& u : data.users) {
    out += "\nuser " + std::to_string(u.id) + (u.restricted ? " restricted" : " free");
    dump_value(out, u.username);
    dump_value(out, u.domain);
    dump_value(out, u.reseller);
    dump_metrics(out, u.usage);
    dump_metrics(out, u.limit);
    for (const auto* mysql :
         {&u.usage.cpu.mysql, &u.usage.io.mysql, &u.limit.cpu.mysql, &u.limit.io.mysql}) {
      dump_value(out, *mysql);
    }
    if (u.restriction) {
      out += " restriction " + std::to_string(u.restriction->time);
      dump_value(out, u.restriction->reason);
    }
    for (const gather::TopDomain& d : u.domains) {
      out += "\n domain " + std::to_string(d.id) + (d.name ? " named" : " unnamed");
      dump_value(out, d.name.value_or(""));
      dump_value(out, d.docroot);
      dump_metrics(out, d.usage);
      dump_metrics(out, d.limit);
    }
  }
  for (const nlohmann::json& reseller : data.resellers) {
    out += "\nreseller";
    dump_value(out, reseller);
  }
  return out;
}

}  // namespace vt::fuzz
