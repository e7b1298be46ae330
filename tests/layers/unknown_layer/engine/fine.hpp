// Allowed on its own: the engine includes the core.
#include "core/instant.hpp"
