#pragma once
// The program's clock: the local date and time. Tests set their own.

#include <QDateTime>

#include <functional>

namespace qb::clock {

QDateTime now();
void set(std::function<QDateTime()> source); // nullptr restores the system clock

} // namespace qb::clock
