#pragma once

// Controls that share a name, addressed by a small index: Check1(3), Check22(1).

#include <map>
#include <stdexcept>

template <class T> class ControlArray
{
public:
    void add(int index, T *control) { m_controls[index] = control; }
    // An index the array does not have is a programming error, not a silent null.
    T *operator()(int index) const
    {
        const auto it = m_controls.find(index);
        if (it == m_controls.end())
            throw std::out_of_range("no control with that index");
        return it->second;
    }
    auto begin() const { return m_controls.begin(); }
    auto end() const { return m_controls.end(); }

private:
    std::map<int, T *> m_controls;
};
