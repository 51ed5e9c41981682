#include "gather/sieve.h"

#include "gather/fill_in.h"

namespace vt::gather {

bool AccountSieve::operator()(TopUser& user) {
  if (!is_visible(visibility, user.id)) return false;
  visible_ids.push_back(user.id);
  if (note_usernames) visible_usernames.push_back(user.username);
  if (allowed != nullptr) {
    const std::string* name = account_name(user, *login_names);
    if (!allowed->contains(name != nullptr ? *name : kNotAvailable)) return false;
  }
  remove_domains(user, keep_domains);
  return true;
}

const std::unordered_set<std::string>* login_names_for_scope(
    const std::unordered_set<std::string>& allowed) {
  return allowed.contains(kNotAvailable) ? nullptr : &allowed;
}

}  // namespace vt::gather
