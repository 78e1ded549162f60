// The library watch: names compared in the listener, matches handed to the game thread, the
// existing array walked in slices.
#include "discovery/library_watch.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/NameTypes.hpp>
#include <Unreal/UObject.hpp>
#include <Unreal/UObjectArray.hpp>
#include <Unreal/UObjectGlobals.hpp>

namespace BRMB::Discovery
{
    namespace
    {
        using RC::StringType;
        using RC::StringViewType;
        using RC::Unreal::FName;
        using RC::Unreal::UObject;
        using RC::Unreal::UObjectBase;

        // Three libraries are watched; room for a few more costs nothing.
        constexpr size_t MaxLibraries = 8;

        struct Library
        {
            // Set on the game thread before the library is published by the watch's count, and
            // only read by the listener after that.
            StringType Path;
            FName Package;
            FName Class;
            FName Default;
            // The class and its default object once seen; cleared when the engine destroys them.
            std::atomic<UObject*> ClassObject{nullptr};
            std::atomic<UObject*> DefaultObject{nullptr};

            [[nodiscard]] auto Known() const -> UObject*
            {
                UObject* const Found = ClassObject.load();
                UObject* const Defaults = DefaultObject.load();
                // Same class: a default object left from an earlier load of the package does not count.
                return Found != nullptr && Defaults != nullptr && static_cast<UObject*>(Defaults->GetClassPrivate()) == Found
                           ? Found
                           : nullptr;
            }
        };

        class Watch final : public RC::Unreal::FUObjectCreateListener, public RC::Unreal::FUObjectDeleteListener
        {
        public:
            auto Seek(StringViewType Path) -> Library*
            {
                if (!Installed)
                {
                    RC::Unreal::UObjectArray::AddUObjectCreateListener(this);
                    RC::Unreal::UObjectArray::AddUObjectDeleteListener(this);
                    Installed = true;
                }
                Library* Wanted = Find(Path);
                if (Wanted == nullptr)
                {
                    Wanted = Add(Path);
                }
                if (Wanted != nullptr && Wanted->Known() == nullptr)
                {
                    TakeNotes();
                    // One walker at a time keeps a frame to one slice: the first library still
                    // missing, or the lookup that has just started a walk.
                    if (Wanted->Known() == nullptr && Walking && (Wanted == FirstMissing() || Cursor == 0))
                    {
                        WalkSlice();
                    }
                }
                return Wanted;
            }

            auto Find(StringViewType Path) -> Library*
            {
                const size_t Watched = Count.load(std::memory_order_relaxed);
                for (size_t Index = 0; Index < Watched; ++Index)
                {
                    if (Libraries[Index].Path == Path)
                    {
                        return &Libraries[Index];
                    }
                }
                return nullptr;
            }

            auto Stop() -> void
            {
                if (Installed)
                {
                    RC::Unreal::UObjectArray::RemoveUObjectCreateListener(this);
                    RC::Unreal::UObjectArray::RemoveUObjectDeleteListener(this);
                }
                Forget();
            }

            // Any thread; runs under the engine's object-array lock: names only, and a short lock
            // on a match.
            void NotifyUObjectCreated(const UObjectBase* Object, int32_t) override
            {
                const auto* Created = static_cast<const UObject*>(Object);
                if (Match(Created).first != nullptr)
                {
                    const std::lock_guard Hold(NotesLock);
                    Notes.push_back(Created);
                }
            }

            void NotifyUObjectDeleted(const UObjectBase* Object, int32_t) override
            {
                const auto* Deleted = static_cast<const UObject*>(Object);
                if (Match(Deleted).first == nullptr)
                {
                    return;
                }
                const std::lock_guard Hold(NotesLock);
                std::erase(Notes, Deleted);
                const size_t Watched = Count.load(std::memory_order_acquire);
                for (size_t Index = 0; Index < Watched; ++Index)
                {
                    for (auto* Seen : {&Libraries[Index].ClassObject, &Libraries[Index].DefaultObject})
                    {
                        UObject* Expected = const_cast<UObject*>(Deleted);
                        Seen->compare_exchange_strong(Expected, nullptr);
                    }
                }
            }

            // The engine is going away with every object in it.
            void OnUObjectArrayShutdown() override { Forget(); }

        private:
            auto Add(StringViewType Path) -> Library*
            {
                const size_t Watched = Count.load(std::memory_order_relaxed);
                const auto Dot = Path.find(STR('.'));
                if (Watched == MaxLibraries || Dot == StringViewType::npos)
                {
                    return nullptr;
                }
                Library& Added = Libraries[Watched];
                Added.Path = StringType(Path);
                Added.Package = FName(Path.substr(0, Dot));
                Added.Class = FName(Path.substr(Dot + 1));
                Added.Default = FName(StringType(STR("Default__")) + StringType(Path.substr(Dot + 1)));
                Count.store(Watched + 1, std::memory_order_release);
                // The walk so far did not look for this name: it goes on to the end of the array,
                // then from its start up to here; or, when it had ended, it starts again.
                if (Walking)
                {
                    WrapEnd = Cursor;
                    Wrapped = false;
                }
                else
                {
                    Walking = true;
                    Cursor = 0;
                    WrapEnd = 0;
                    Wrapped = false;
                }
                return &Added;
            }

            auto FirstMissing() -> Library*
            {
                const size_t Watched = Count.load(std::memory_order_relaxed);
                for (size_t Index = 0; Index < Watched; ++Index)
                {
                    if (Libraries[Index].Known() == nullptr)
                    {
                        return &Libraries[Index];
                    }
                }
                return nullptr;
            }

            // The library an object is the class or the default object of, by name and package.
            auto Match(const UObject* Object) const -> std::pair<Library*, bool>
            {
                const FName Name = Object->GetNamePrivate();
                const size_t Watched = Count.load(std::memory_order_acquire);
                for (size_t Index = 0; Index < Watched; ++Index)
                {
                    Library& Candidate = const_cast<Library&>(Libraries[Index]);
                    const bool IsClass = Name == Candidate.Class;
                    if (!IsClass && Name != Candidate.Default)
                    {
                        continue;
                    }
                    const UObject* const Outer = Object->GetOuterPrivate();
                    if (Outer != nullptr && Outer->GetOuterPrivate() == nullptr && Outer->GetNamePrivate() == Candidate.Package)
                    {
                        return {&Candidate, !IsClass};
                    }
                }
                return {nullptr, false};
            }

            auto Take(const UObject* Object) -> void
            {
                const auto [Owner, IsDefault] = Match(Object);
                if (Owner != nullptr)
                {
                    (IsDefault ? Owner->DefaultObject : Owner->ClassObject).store(const_cast<UObject*>(Object));
                }
            }

            // Never waits: a loading thread that holds the lock only delays the notes to the next pass.
            auto TakeNotes() -> void
            {
                const std::unique_lock Hold(NotesLock, std::try_to_lock);
                if (!Hold.owns_lock())
                {
                    return;
                }
                for (const UObject* Noted : Notes)
                {
                    Take(Noted);
                }
                Notes.clear();
            }

            // Objects created since the listener came are noted; this covers the ones before it.
            // A slice with no live object is the end of the array; the walk then goes on from the
            // start up to WrapEnd, where the last library was added, at once (an empty slice
            // visited nothing).
            auto WalkSlice() -> void
            {
                while (Walking)
                {
                    const int32_t End = Wrapped ? std::min(Cursor + SliceObjects, WrapEnd) : Cursor + SliceObjects;
                    int32_t Visited = 0;
                    RC::Unreal::UObjectGlobals::ForEachUObjectInRange(Cursor, End,
                                                                      [this, &Visited](UObject* Object, int32_t, int32_t) {
                                                                          ++Visited;
                                                                          Take(Object);
                                                                          return RC::LoopAction::Continue;
                                                                      });
                    Cursor = End;
                    if (Wrapped)
                    {
                        Walking = Cursor < WrapEnd;
                        return;
                    }
                    if (Visited != 0)
                    {
                        return;
                    }
                    Wrapped = true;
                    Cursor = 0;
                    Walking = WrapEnd > 0;
                }
            }

            auto Forget() -> void
            {
                Installed = false;
                Walking = false;
                Wrapped = false;
                Cursor = 0;
                WrapEnd = 0;
                const std::lock_guard Hold(NotesLock);
                Notes.clear();
                Count.store(0, std::memory_order_release);
                for (Library& Each : Libraries)
                {
                    Each.Path.clear();
                    Each.Package = Each.Class = Each.Default = FName();
                    Each.ClassObject = nullptr;
                    Each.DefaultObject = nullptr;
                }
            }

            std::array<Library, MaxLibraries> Libraries;
            std::atomic<size_t> Count{0};
            std::mutex NotesLock;
            std::vector<const UObject*> Notes; // guarded by NotesLock
            bool Installed = false;
            bool Walking = false;
            bool Wrapped = false;
            int32_t Cursor = 0;
            int32_t WrapEnd = 0;
        };

        auto TheWatch() -> Watch&
        {
            static Watch Instance;
            return Instance;
        }
    } // namespace

    auto SeekLibrary(RC::StringViewType LibraryPath) -> RC::Unreal::UObject*
    {
        const Library* Found = TheWatch().Seek(LibraryPath);
        return Found != nullptr ? Found->Known() : nullptr;
    }

    auto SeekLibraryFunction(RC::StringViewType LibraryPath, const RC::StringType& Function) -> RC::Unreal::UFunction*
    {
        const Library* Found = TheWatch().Seek(LibraryPath);
        if (Found == nullptr || Found->Known() == nullptr)
        {
            return nullptr;
        }
        return Found->DefaultObject.load()->GetFunctionByName(Function.c_str());
    }

    auto StopWatching() -> void
    {
        TheWatch().Stop();
    }
} // namespace BRMB::Discovery
