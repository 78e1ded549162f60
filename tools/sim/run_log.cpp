// Log expectations: the lines a step logged, exactly, in order among others, in any order, or
// none of some.
#include <algorithm>

#include "sim/run.hpp"
#include "sim/text.hpp"

namespace BRMB::Sim
{
    namespace
    {
        auto Matches(const LineMatch& Expected, const SeenLine& Seen) -> bool
        {
            if (Expected.Level != Seen.Level || (Expected.Newline && *Expected.Newline != Seen.Newline))
            {
                return false;
            }
            return Expected.Part ? Seen.Text.find(Expected.Text) != std::string::npos : Seen.Text == Expected.Text;
        }

        auto Show(const LineMatch& Line) -> std::string
        {
            const auto Newline = !Line.Newline ? "" : *Line.Newline ? " with its newline" : " without a newline";
            return (Line.Part ? "a line containing " : "") + Quote(Line.Text) + Newline + " at level " +
                   std::to_string(Line.Level);
        }

        auto Show(const SeenLine& Line) -> std::string
        {
            return Quote(Line.Text) + (Line.Newline ? "" : " without a newline") + " at level " + std::to_string(Line.Level);
        }

        template <typename Line>
        auto ShowList(const std::vector<Line>& Lines) -> std::string
        {
            if (Lines.empty())
            {
                return "no lines";
            }
            std::string Text;
            for (size_t Index = 0; Index < Lines.size(); ++Index)
            {
                Text += (Index == 0 ? "" : "\n") + std::to_string(Index + 1) + ". " + Show(Lines[Index]);
            }
            return Text;
        }
    } // namespace

    auto ShowLines(const std::vector<SeenLine>& Lines) -> std::string
    {
        return ShowList(Lines);
    }

    auto Run::LineCount() const -> size_t
    {
        return Capture == nullptr ? 0 : Capture->Lines().size();
    }

    auto Run::LinesSince(size_t First) const -> std::vector<SeenLine>
    {
        std::vector<SeenLine> Lines;
        if (Capture == nullptr)
        {
            return Lines;
        }
        const auto& All = Capture->Lines();
        for (size_t Index = First; Index < All.size(); ++Index)
        {
            auto Text = Narrow(All[Index].Text);
            const bool Newline = !Text.empty() && Text.back() == '\n';
            if (Newline)
            {
                Text.pop_back();
            }
            Lines.push_back({std::move(Text), All[Index].Level, Newline});
        }
        return Lines;
    }

    auto Run::CheckLog(const Step& Current, const std::vector<SeenLine>& Lines) -> void
    {
        const auto& Expect = Current.Expect;
        if (Expect.Log)
        {
            const auto& Wanted = *Expect.Log;
            const bool Same = Wanted.size() == Lines.size() &&
                              std::equal(Wanted.begin(), Wanted.end(), Lines.begin(), Matches);
            Check(Current, Same, "log lines", ShowList(Wanted), ShowLines(Lines));
        }
        if (!Expect.LogContains.empty())
        {
            auto Next = Lines.begin();
            size_t Found = 0;
            for (const auto& Wanted : Expect.LogContains)
            {
                Next = std::find_if(Next, Lines.end(), [&](const SeenLine& Seen) { return Matches(Wanted, Seen); });
                if (Next == Lines.end())
                {
                    break;
                }
                ++Next;
                ++Found;
            }
            const bool All = Found == Expect.LogContains.size();
            Check(Current, All,
                  All ? "" : "log lines in this order, missing " + Show(Expect.LogContains[Found]),
                  ShowList(Expect.LogContains), ShowLines(Lines));
        }
        if (Expect.LogAnyOrder)
        {
            // Each expected line takes one seen line; what is left over on either side is the difference.
            std::vector<bool> Taken(Lines.size(), false);
            std::vector<LineMatch> Missing;
            for (const auto& Wanted : *Expect.LogAnyOrder)
            {
                size_t Index = 0;
                while (Index < Lines.size() && (Taken[Index] || !Matches(Wanted, Lines[Index])))
                {
                    ++Index;
                }
                if (Index == Lines.size())
                {
                    Missing.push_back(Wanted);
                    continue;
                }
                Taken[Index] = true;
            }
            const bool All = Missing.empty() && std::count(Taken.begin(), Taken.end(), true) ==
                                                    static_cast<std::ptrdiff_t>(Lines.size());
            Check(Current, All,
                  Missing.empty() ? "log lines in any order, and no others" : "log lines in any order, missing " + Show(Missing.front()),
                  ShowList(*Expect.LogAnyOrder), ShowLines(Lines));
        }
        for (const auto& Unwanted : Expect.LogLacks)
        {
            const auto Seen =
                std::find_if(Lines.begin(), Lines.end(), [&](const SeenLine& Line) { return Matches(Unwanted, Line); });
            Check(Current, Seen == Lines.end(), "a line that must not appear", "no " + Show(Unwanted),
                  Seen == Lines.end() ? "" : Show(*Seen));
        }
    }
} // namespace BRMB::Sim
