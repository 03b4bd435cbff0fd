// Per-thread state of the engine, reached without the dynamic TLS lookup that
// a library loaded at run time otherwise pays on every access: an
// initial-exec pointer (one word of static TLS) set on first use to an object
// owned by an ordinary thread_local, which frees it at thread exit and
// clears the pointer.
#pragma once

#include <pthread.h>

#include <memory>
#include <mutex>
#include <vector>

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

// A state for a thread whose ThreadState<T> is already gone (it is running
// its thread_local destructors). Each such thread gets one of its own from a
// shared pool, given back by a thread-specific key's destructor: the C
// library runs those after every thread_local destructor, so the state is
// no longer in use then. Several threads exit at once; they never share one.
template <class T>
class SpareState {
public:
    static T& get() {
        Pool& pool = Pool::instance();
        if (void* mine = pthread_getspecific(pool.key)) return *static_cast<T*>(mine);
        T* taken = pool.take();
        pthread_setspecific(pool.key, taken);
        return *taken;
    }

private:
    // Never destroyed: threads may still exit while the process ends. Every
    // state stays owned by `all`, so none is lost.
    struct Pool {
        pthread_key_t key{};
        std::mutex lock;
        std::vector<std::unique_ptr<T>> all;
        std::vector<T*> free;

        static Pool& instance() {
            static Pool* const pool = new Pool();
            return *pool;
        }
        Pool() { pthread_key_create(&key, giveBack); }
        T* take() {
            std::lock_guard<std::mutex> hold(lock);
            if (!free.empty()) {
                T* state = free.back();
                free.pop_back();
                return state;
            }
            all.push_back(std::make_unique<T>());
            return all.back().get();
        }
        static void giveBack(void* state) {
            Pool& pool = instance();
            std::lock_guard<std::mutex> hold(pool.lock);
            pool.free.push_back(static_cast<T*>(state));
        }
    };
};

}  // namespace mx
