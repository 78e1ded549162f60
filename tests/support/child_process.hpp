// Work run in a forked copy of the test process (the loaded mod included), POSIX only: a call
// that brings the process down, freezes or is given a resource limit cannot take the test with
// it. What the child says comes back through a pipe.
#pragma once

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace BrambleonTest
{
    // Runs Work in a child and answers what it returned. A child still running after
    // MostSeconds is ended by SIGALRM, which fails the test: far beyond any answer that comes
    // at once, so it only ever catches a call that waits on something that never comes.
    inline auto InChild(const std::function<std::string()>& Work, unsigned MostSeconds = 30) -> std::string
    {
        int Pipe[2];
        if (::pipe(Pipe) != 0)
        {
            ADD_FAILURE() << "pipe: " << std::strerror(errno);
            return {};
        }
        const pid_t Child = ::fork();
        if (Child == 0)
        {
            ::close(Pipe[0]);
            ::alarm(MostSeconds);
            const std::string Said = Work();
            const ssize_t Written = ::write(Pipe[1], Said.data(), Said.size());
            ::_exit(Written == static_cast<ssize_t>(Said.size()) ? 0 : 1);
        }
        ::close(Pipe[1]);
        std::string Said;
        char Buffer[4096];
        for (ssize_t Read = 0; (Read = ::read(Pipe[0], Buffer, sizeof(Buffer))) > 0;)
        {
            Said.append(Buffer, static_cast<size_t>(Read));
        }
        ::close(Pipe[0]);
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0)
            << "the child ended with " << Status
            << (WIFSIGNALED(Status) && WTERMSIG(Status) == SIGALRM ? " (it was still waiting after its time)" : "");
        return Said;
    }
} // namespace BrambleonTest
#endif
