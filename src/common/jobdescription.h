#pragma once
// How a decoded report's print job is named to the user: the job name and
// the user its sender gave (a PJL job carries both), in one short line.

#include <cstddef>
#include <string>

namespace qb {

class Report;

// "Job: INVOICE 4711 (jdoe)", "Job: INVOICE 4711" without a user, "User:
// jdoe" without a name; empty for a report that names neither (every plain
// report). Control characters become spaces, blanks at either end go, and
// each part is cut to kMaxJobPart characters, so a hostile job name stays
// one readable line.
std::string jobDescription(const Report &report);

inline constexpr std::size_t kMaxJobPart = 80;

} // namespace qb
