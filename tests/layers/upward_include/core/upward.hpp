// A core file that reaches up into the engine: the check must refuse it.
#include "core/instant.hpp"
#include "engine/identify.hpp"
