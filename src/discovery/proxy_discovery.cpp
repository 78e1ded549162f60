// Discovery of the content proxy's library: the library, then both registry functions; a
// function found once is not looked up again. While anything is missing every pass logs that
// the tools are not yet initiated. Game thread only.
#include <Brambleon.hpp>

#include "bridge/log.hpp"
#include "discovery/discovery.hpp"

namespace BRMB
{
    namespace
    {
        using Discovery::PassResult;

        auto Pass(Brambleon& Service) -> PassResult
        {
            const bool Ready = Discovery::FindLibrary(Service.Library, Service.LibraryPath) &&
                               Service.RegisterHook_BRMB_CPP_RegisterProxy(false) &&
                               Service.RegisterHook_BRMB_CPP_DestroyedProxy(false);
            return Ready ? PassResult::Complete : PassResult::Pending;
        }

        auto WhilePending(Brambleon&, float) -> void
        {
            Bridge::LogLine(STR("Brambleon C++ Tools not yet initiated"));
        }

        constexpr Discovery::Config<Brambleon> ProxyDiscovery{
            .Prefix = STR("BRMB"),
            .Owner = STR("BRMB"),
            .Callback = STR("BRMB_EngineBPScan"),
            .Instance = &ProxyInstance,
            .PollElapsed = &Brambleon::PollElapsed,
            .ScanComplete = &Brambleon::ScanComplete,
            .Interval = &Discovery::SlowInterval<Brambleon>,
            .Pass = &Pass,
            .CompletionLine = STR("Brambleon C++ Tools initiated!"),
            .WhilePending = &WhilePending,
        };
    } // namespace

    auto Brambleon::RegisterDiscovery() -> void
    {
        Discovery::Register<ProxyDiscovery>();
    }
} // namespace BRMB
