// Umbrella header of the host's output, as the real host provides it.
#pragma once

#include <DynamicOutput/Output.hpp>
#include <DynamicOutput/OutputDevice.hpp>
