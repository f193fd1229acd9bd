#pragma once
// A failure that reaches the user in the standard error box with its text.

#include <stdexcept>
#include <string>

namespace qb {

class Failure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace qb
