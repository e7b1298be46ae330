// Allowed: the engine includes the core.
#include "core/instant.hpp"
