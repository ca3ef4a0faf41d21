// A shared library opened when first needed rather than linked: a library
// linked in is loaded, and on a cold start read, at every start, though
// most runs never call it.
#pragma once

#include <dlfcn.h>
#include <string>

namespace tamboro {

class DynamicLibrary {
public:
    // Opens `soname` for the rest of the process; null, with `error` set to
    // "cannot load SONAME: why", when it cannot be.
    static void* Open(const char* soname, std::string& error)
    {
        void* library = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            error = std::string("cannot load ") + soname + ": " + LastError();
        return library;
    }

    // Sets `call` to the function `name` of `library`; false (with `error`
    // set) when it has none.
    template <typename Function>
    static bool Bind(void* library, const char* soname, const char* name, Function& call, std::string& error)
    {
        call = reinterpret_cast<Function>(::dlsym(library, name));
        if (call == nullptr)
            error = std::string("cannot load ") + soname + ": " + LastError();
        return call != nullptr;
    }

private:
    static std::string LastError()
    {
        const char* text = ::dlerror();
        return text != nullptr ? text : "unknown error";
    }
};

}  // namespace tamboro
