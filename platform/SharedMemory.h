// A small block of memory shared by name between threads and processes of
// one user: a file in $XDG_RUNTIME_DIR when that is set (per user, per login
// session, on tmpfs), otherwise a POSIX shared memory object whose name
// carries the user id.
#pragma once

#include <cstddef>
#include <string>

namespace tamboro {

class SharedMemory {
public:
    // Which of the two steps of reaching a block went wrong.
    enum class Result {
        Ok,
        ObjectFailed,  // creating or opening the named object
        ViewFailed,    // mapping a view of it
    };

    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Creates the block, or uses it when it exists already, and maps it.
    // The object is created with mode 0600; a symbolic link at the name is
    // never followed, and an object that is not a regular file or belongs to
    // another user is refused. A block shorter than `size` is extended.
    Result Create(const std::string& name, std::size_t size);

    // Opens an existing block and maps it. A block shorter than `size`
    // cannot be mapped (reading past its end would fault). A failed mapping
    // closes the handle the open returned.
    Result Open(const std::string& name, std::size_t size);

    // Takes a handle of its own on the very object `other` holds a handle
    // on (a duplicate of that handle), without mapping it; Map then maps a
    // view of it. Whatever happens to the object's name afterwards, both
    // sides stay on the one object. Without a handle on `other`, or when no
    // descriptor is free, this side gets none, and Map fails at the object
    // step.
    void ShareHandleOf(const SharedMemory& other);

    // Maps a view of the object whose handle ShareHandleOf took. An object
    // shorter than `size` cannot be mapped; a failed mapping closes the
    // handle.
    Result Map(std::size_t size);

    // Releases the handle on the object; the view stays mapped and valid.
    // Calling it again does nothing.
    void CloseHandle();

    bool HasHandle() const { return m_fd >= 0; }
    void* View() const { return m_view; }

private:
    Result OpenObject(const std::string& name, bool create, std::size_t size);
    // Maps `size` bytes of the object of m_fd.
    Result MapView(std::size_t size);

    int m_fd = -1;
    void* m_view = nullptr;
    std::size_t m_viewSize = 0;
};

}  // namespace tamboro
