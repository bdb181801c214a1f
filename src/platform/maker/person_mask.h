#pragma once
// Registration-number masks by person type: the first character of a client or supplier code
// ("F" individual, "J" company, ...) chooses the edit mask its registration number is shown in.

#include <string>
#include <string_view>

namespace kve::Consiste {

// The configured mask of a person type, looked up as given and then in upper case. A type
// without a mask gets the empty mask, which leaves a number as it is.
std::string PictPess(std::string_view personType);

}  // namespace kve::Consiste
