// Per-thread state of the engine, reached without the dynamic TLS lookup that
// a library loaded at run time otherwise pays on every access: an
// initial-exec pointer (one word of static TLS) set on first use to an object
// owned by an ordinary thread_local, which frees it at thread exit and
// clears the pointer.
#pragma once

#include <memory>

namespace mx {

template <class T>
class ThreadState {
public:
    // Null once the thread's own state has been destroyed at its exit.
    static T* get() {
        if (T* state = fast_) return state;
        return owned();
    }

private:
    // The state itself is on the heap: a library with static TLS must keep
    // its whole TLS block small, or it cannot be loaded at run time.
    struct Owner {
        std::unique_ptr<T> state{new T()};
        Owner() { fast_ = state.get(); }
        ~Owner() {
            fast_ = nullptr;
            state.reset();
        }
    };
    static T* owned() {
        thread_local Owner owner;
        return owner.state.get();
    }
    static inline thread_local T* fast_ __attribute__((tls_model("initial-exec"))) = nullptr;
};

}  // namespace mx
