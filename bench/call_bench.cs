// The cost of one call through the .NET binding under Mono: AuxVersion_getTavikVersion (a library
// answer, no driver request) through the friendly layer and through its Native declaration. The
// same call from C is handle_bench's BM_ThroughExport/0, from Python bench/call_bench.py.
// usage: mono call_bench.exe   (a scratch unit home of its own)
using System;
using System.Diagnostics;
using System.IO;
using Tavik2;

static class CallBench
{
    // Nanoseconds per call: the best of several rounds of about 0.2 s each.
    static double Measure(string name, Action<int> calls)
    {
        calls(10000); // warm-up: JIT and first-use costs
        int n = 10000;
        var watch = Stopwatch.StartNew();
        calls(n);
        while (watch.Elapsed.TotalSeconds < 0.05 && n < (1 << 26))
        {
            n *= 2;
            watch.Restart();
            calls(n);
        }
        double best = double.MaxValue;
        for (int round = 0; round < 5; round++)
        {
            watch.Restart();
            calls(n * 4);
            best = Math.Min(best, watch.Elapsed.TotalMilliseconds * 1e6 / (n * 4));
        }
        Console.WriteLine("{0,-34} {1,8:F1} ns/call", name, best);
        return best;
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
