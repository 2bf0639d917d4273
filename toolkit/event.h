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
    Handler m_handler;
};

} // namespace toolkit
