// Deprecated path; the host declares this in Unreal/CoreUObject/UObject/Class.hpp.
#pragma once

#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>
