#pragma once
// A static object that stands at one place of the program's start-up order: it
// notes when it is built and destroyed, and whether the string pools served it then.

class CStaticProbe {
public:
  explicit CStaticProbe(const char* pszName);
  ~CStaticProbe();
  CStaticProbe(const CStaticProbe&) = delete;
  CStaticProbe& operator=(const CStaticProbe&) = delete;

private:
  const char* m_pszName;
};

// What the probes noted so far, one line each: "built NAME: pools ok".
const char* StaticProbeLog();
