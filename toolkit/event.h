#pragma once
// A single-handler event, bound by name the way a form binds its handlers. Handlers may throw:
// a before-event that throws refuses the operation, and the exception travels to the caller.
// (Qt signals are not used for these because exceptions must not cross a signal emission.)

#include <functional>
#include <utility>

namespace toolkit {

template <typename... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

    Event &operator=(Handler handler)
    {
        m_handler = std::move(handler);
        return *this;
    }
    template <typename Object, typename Method>
    void bind(Object *object, Method method)
    {
        m_handler = [object, method](Args... args) { (object->*method)(args...); };
    }
    void clear() { m_handler = nullptr; }
    explicit operator bool() const { return bool(m_handler); }
    void operator()(Args... args) const
    {
        if (m_handler)
            m_handler(args...);
    }

private:
    template <typename... A>
    friend class HandlerSuspension;
    Handler m_handler;
};

// Takes an event's handler away for the guard's lifetime and gives it back however the scope is
// left (a walk over the rows that must not run the scroll handler at every row, a dialog during
// which the focus coming back must reload nothing). A handler bound meanwhile is replaced.
template <typename... Args>
class HandlerSuspension {
public:
    explicit HandlerSuspension(Event<Args...> &event) : m_event(event), m_saved(std::exchange(event.m_handler, nullptr)) {}
    ~HandlerSuspension() { m_event.m_handler = std::move(m_saved); }
    HandlerSuspension(const HandlerSuspension &) = delete;
    HandlerSuspension &operator=(const HandlerSuspension &) = delete;

private:
    Event<Args...> &m_event;
    typename Event<Args...>::Handler m_saved;
};

} // namespace toolkit
