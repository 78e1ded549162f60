#include "sim/process.hpp"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#else
#  include <csignal>
#  include <filesystem>
#  include <spawn.h>
#  include <sys/wait.h>
#  include <unistd.h>
extern char** environ;
#endif

#include "sim/paths.hpp"

namespace BRMB::Sim
{
#if defined(_WIN32)
    namespace
    {
        // One argument as CommandLineToArgvW and the C runtime read it back.
        auto QuoteArgument(const std::wstring& Argument) -> std::wstring
        {
            if (!Argument.empty() && Argument.find_first_of(L" \t\"") == std::wstring::npos)
            {
                return Argument;
            }
            std::wstring Quoted = L"\"";
            size_t Backslashes = 0;
            for (const wchar_t Char : Argument)
            {
                if (Char == L'\\')
                {
                    ++Backslashes;
                    continue;
                }
                Quoted.append(Char == L'"' ? Backslashes * 2 + 1 : Backslashes, L'\\');
                Backslashes = 0;
                Quoted += Char;
            }
            Quoted.append(Backslashes * 2, L'\\');
            return Quoted + L"\"";
        }
    } // namespace

    auto OwnExecutable() -> std::string
    {
        std::wstring Buffer(32768, L'\0');
        const auto Length = GetModuleFileNameW(nullptr, Buffer.data(), static_cast<DWORD>(Buffer.size()));
        Buffer.resize(Length);
        return PathToUtf8(std::filesystem::path(Buffer));
    }

    auto RunChild(const std::string& Program, const std::vector<std::string>& Arguments) -> ChildEnd
    {
        const auto Wide = [](const std::string& Text) { return PathFromUtf8(Text).wstring(); };
        std::wstring CommandLine = QuoteArgument(Wide(Program));
        for (const auto& Argument : Arguments)
        {
            CommandLine += L" " + QuoteArgument(Wide(Argument));
        }
        STARTUPINFOW Startup{};
        Startup.cb = sizeof(Startup);
        // The child writes where this process writes, console or pipe.
        Startup.dwFlags = STARTF_USESTDHANDLES;
        Startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        Startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        Startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION Process{};
        std::fflush(nullptr);
        if (CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &Startup,
                           &Process) == 0)
        {
            throw std::runtime_error("cannot start " + Program + " (error " + std::to_string(GetLastError()) + ")");
        }
        WaitForSingleObject(Process.hProcess, INFINITE);
        DWORD Code = 0;
        GetExitCodeProcess(Process.hProcess, &Code);
        CloseHandle(Process.hThread);
        CloseHandle(Process.hProcess);
        ChildEnd End;
        // Exit codes from 0xC0000000 up are exception codes (NTSTATUS errors): access violation,
        // stack overflow, an abort through the C runtime's fast-fail.
        if (Code >= 0xC0000000U)
        {
            char Text[32];
            std::snprintf(Text, sizeof(Text), "exception 0x%08lx", static_cast<unsigned long>(Code));
            End.Crash = Text;
            switch (Code)
            {
            case 0xC0000005U: *End.Crash += " (access violation)"; break;
            case 0xC00000FDU: *End.Crash += " (stack overflow)"; break;
            case 0xC0000409U: *End.Crash += " (fast fail: abort or a broken check)"; break;
            case 0xC000001DU: *End.Crash += " (illegal instruction)"; break;
            case 0xC0000094U: *End.Crash += " (integer division by zero)"; break;
            default: break;
            }
        }
        End.ExitCode = static_cast<int>(Code);
        return End;
    }

    namespace
    {
        // Ends the process with the exception's code before any debugger or error report is
        // started for it (wine starts its debugger otherwise).
        auto WINAPI EndWithExceptionCode(EXCEPTION_POINTERS* Info) -> LONG
        {
            TerminateProcess(GetCurrentProcess(), Info->ExceptionRecord->ExceptionCode);
            return EXCEPTION_EXECUTE_HANDLER;
        }
    } // namespace

    auto QuietCrashes() -> void
    {
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
        SetUnhandledExceptionFilter(EndWithExceptionCode);
    }
#else
    auto OwnExecutable() -> std::string
    {
        return PathToUtf8(std::filesystem::read_symlink("/proc/self/exe"));
    }

    auto RunChild(const std::string& Program, const std::vector<std::string>& Arguments) -> ChildEnd
    {
        std::vector<std::string> Copies;
        Copies.push_back(Program);
        Copies.insert(Copies.end(), Arguments.begin(), Arguments.end());
        std::vector<char*> Argv;
        for (auto& Argument : Copies)
        {
            Argv.push_back(Argument.data());
        }
        Argv.push_back(nullptr);
        std::fflush(nullptr);
        pid_t Child = 0;
        if (const int Error = posix_spawn(&Child, Program.c_str(), nullptr, nullptr, Argv.data(), environ); Error != 0)
        {
            throw std::runtime_error("cannot start " + Program + ": " + std::strerror(Error));
        }
        int Status = 0;
        while (waitpid(Child, &Status, 0) < 0)
        {
            if (errno != EINTR)
            {
                throw std::runtime_error(std::string("cannot wait for a scenario's process: ") + std::strerror(errno));
            }
        }
        ChildEnd End;
        if (WIFSIGNALED(Status))
        {
            const int Signal = WTERMSIG(Status);
            const char* Name = strsignal(Signal);
            End.Crash = "signal " + std::to_string(Signal) + (Name != nullptr ? std::string(" (") + Name + ")" : "");
            End.ExitCode = -1;
        }
        else
        {
            End.ExitCode = WEXITSTATUS(Status);
        }
        return End;
    }

    auto QuietCrashes() -> void {}
#endif
} // namespace BRMB::Sim
