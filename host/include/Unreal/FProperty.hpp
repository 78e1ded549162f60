// Deprecated path; the host declares the property types in Unreal/CoreUObject/UObject/UnrealType.hpp.
#pragma once

#include <Unreal/CoreUObject/UObject/UnrealType.hpp>
