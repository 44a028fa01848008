// Run-time binding of optional platform modules. A module is loaded on first use and stays bound
// for the life of the process; a missing module or function makes only the calls that need it
// fail. On Windows modules load from the system folder only, never through the search path.
#pragma once
#include <atomic>
#include <mutex>
#include <string>

namespace tvd {

class BoundModule {
public:
    // Windows: a module file name such as "Bcrypt.DLL"; Linux: a shared-object name.
    explicit BoundModule(const char* name);
    ~BoundModule();
    BoundModule(const BoundModule&) = delete;
    BoundModule& operator=(const BoundModule&) = delete;

    bool Loaded();
    // Address of an exported function, nullptr when the module or the function is missing.
    void* Proc(const char* function);
    template <class F> F Fn(const char* function) { return reinterpret_cast<F>(Proc(function)); }
    const std::string& Name() const { return name_; }

private:
    void Load();
    std::string name_;
    std::once_flag once_;
    void* handle_ = nullptr;
};

} // namespace tvd
