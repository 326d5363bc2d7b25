#include <windows.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

// Counts the characters of pszText on a second thread and sums them under a mutex, throwing and
// catching on the way: this needs the posix thread model and unwinding from the statically linked
// runtime, which is what the port's transfers and guards rely on. Returns -1 for no text.
extern "C" int WincheckAnswer(const wchar_t* pszText) {
    if (pszText == nullptr) return -1;
    std::mutex mutex;
    int nTotal = 0;
    std::thread worker([&] {
        try {
            std::wstring strText(pszText);
            if (strText.empty()) throw std::runtime_error("empty");
            std::lock_guard<std::mutex> lock(mutex);
            nTotal += static_cast<int>(strText.size());
        } catch (const std::exception&) {
            std::lock_guard<std::mutex> lock(mutex);
            nTotal = 0;
        }
    });
    worker.join();
    return nTotal;
}
