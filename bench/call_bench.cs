// The cost of one call through the .NET binding under Mono: AuxVersion_getTavikVersion (a library
// answer, no driver request) through the friendly layer and through its Native declaration. The
// same call from C is handle_bench's BM_ThroughExport/0, from Python bench/call_bench.py.
// Times are the thread's CPU time (Linux), so that a machine busy with other work does not count.
// usage: mono call_bench.exe   (a scratch unit home of its own)
using System;
using System.IO;
using System.Runtime.InteropServices;
using Tavik2;

static class CallBench
{
    [StructLayout(LayoutKind.Sequential)]
    struct Timespec
    {
        public long Seconds, Nanoseconds;
    }

    [DllImport("libc.so.6", EntryPoint = "clock_gettime")]
    static extern int ClockGettime(int clock, out Timespec time);

    static double ThreadCpuNanoseconds()
    {
        Timespec t;
        ClockGettime(3 /* CLOCK_THREAD_CPUTIME_ID */, out t);
        return t.Seconds * 1e9 + t.Nanoseconds;
    }

    // Nanoseconds per call: the best of five rounds of at least 0.1 s each.
    static void Measure(string name, Action<int> calls)
    {
        calls(10000); // warm-up: JIT and first-use costs
        int n = 10000;
        double start = ThreadCpuNanoseconds();
        calls(n);
        while (ThreadCpuNanoseconds() - start < 1e8 && n < (1 << 26))
        {
            n *= 2;
            start = ThreadCpuNanoseconds();
            calls(n);
        }
        double best = double.MaxValue;
        for (int round = 0; round < 5; round++)
        {
            start = ThreadCpuNanoseconds();
            calls(n);
            best = Math.Min(best, (ThreadCpuNanoseconds() - start) / n);
        }
        Console.WriteLine("{0,-38} {1,8:F1} ns/call", name, best);
    }

    static int Main()
    {
        string home = Path.Combine(Path.GetTempPath(), "tavik-bench-" + Guid.NewGuid().ToString("N"));
        Directory.CreateDirectory(home);
        Environment.SetEnvironmentVariable("TAVIK_HOME", home);
        try
        {
            using (var versions = new AuxVersion())
            {
                byte a, b, c, d;
                Measure("friendly AuxVersion.GetTavikVersion", n =>
                {
                    for (int i = 0; i < n; i++) versions.GetTavikVersion(out a, out b, out c, out d);
                });
                IntPtr h = versions.Handle.DangerousGetHandle();
                Measure("Native.AuxVersion_getTavikVersion", n =>
                {
                    for (int i = 0; i < n; i++) Native.AuxVersion_getTavikVersion(h, out a, out b, out c, out d);
                });
            }
            using (var about = new About())
                Measure("friendly About.GetUnitSerial (text)", n => { for (int i = 0; i < n; i++) about.GetUnitSerial(); });
        }
        finally
        {
            Directory.Delete(home, true);
        }
        return 0;
    }
}
