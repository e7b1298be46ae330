// A folder the layer order does not name.
#include "core/instant.hpp"
