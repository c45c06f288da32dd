#pragma once

// Puts a variable back to the value it had when the guard was made, however the scope ends
// (an exception included): for state that a computation changes for its own duration only.
template <typename T>
class RestoreOnExit {
public:
    explicit RestoreOnExit(T& variable) : variable_(variable), saved_(variable) {}
    ~RestoreOnExit() { variable_ = saved_; }
    RestoreOnExit(const RestoreOnExit&) = delete;
    RestoreOnExit& operator=(const RestoreOnExit&) = delete;
    const T& saved() const { return saved_; }

private:
    T& variable_;
    const T saved_;
};
