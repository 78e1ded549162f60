// Delivery of formatted log lines to the process-wide default devices.
#include <DynamicOutput/Output.hpp>

#include <stdexcept>

namespace RC::Output
{
    auto DefaultTargets::get_default_devices_ref() -> std::vector<std::unique_ptr<OutputDevice>>&
    {
        static std::vector<std::unique_ptr<OutputDevice>> Devices;
        return Devices;
    }

    auto deliver_to_default_devices(StringViewType text, int32_t level) -> void
    {
        auto& Devices = DefaultTargets::get_default_devices_ref();
        if (Devices.empty())
        {
            return;
        }
        // By index: a device may change the list while it receives.
        for (size_t Index = 0; Index < Devices.size(); ++Index)
        {
            const OutputDevice* Device = Devices[Index].get();
            if (Device == nullptr)
            {
                throw std::runtime_error(NoDevicesError);
            }
            if (Device->has_optional_arg())
            {
                Device->receive_with_optional_arg(text, level);
            }
            else
            {
                Device->receive(text);
            }
            if (Devices.empty())
            {
                throw std::runtime_error(NoDevicesError);
            }
        }
    }
} // namespace RC::Output
