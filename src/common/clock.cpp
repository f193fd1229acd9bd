#include "common/clock.h"

namespace qb::clock {

namespace {
std::function<QDateTime()> g_source;
}

QDateTime now() { return g_source ? g_source() : QDateTime::currentDateTime(); }

void set(std::function<QDateTime()> source) { g_source = std::move(source); }

} // namespace qb::clock
