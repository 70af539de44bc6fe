// The .NET binding against libtavik2.so and a fresh simulated unit (default profile), under Mono.
// usage: mono binding_tests.exe LAYOUT_PROGRAM EXPORT_TABLE
//   LAYOUT_PROGRAM prints every record's size and field offsets as the C compiler lays them out.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text;
using System.Text.RegularExpressions;
using System.Threading;

namespace Tavik2.Tests
{
    static class BindingTests
    {
        static string layoutProgram, exportTable;

        static void Expect(bool condition, string what)
        {
            if (!condition) throw new Exception("expected " + what);
        }

        static void Equal<T>(T expected, T actual, string what)
        {
            if (!EqualityComparer<T>.Default.Equals(expected, actual))
                throw new Exception(what + ": expected " + expected + ", got " + actual);
        }

        static Tavik2Exception Throws(Action call)
        {
            try
            {
                call();
            }
            catch (Tavik2Exception e)
            {
                return e;
            }
            throw new Exception("expected a Tavik2Exception");
        }

        // One call per family, each through a parameter shape of its own where the family has one:
        // values written and read back cross the boundary both ways.
        static void EveryFamily()
        {
            var cases = new Dictionary<string, Action>
            {
                { "About", () => { using (var f = new About()) {
                    Equal("U7654321", f.GetUnitSerial(), "unit serial");
                    Equal((byte)2, f.GetNrOfCANConnections(), "CAN connections");
                    Equal(true, f.GetIsGPSMounted(), "GPS mounted"); } } },
                { "Adc", () => { using (var f = new Adc()) {
                    double v = f.GetVoltage(0);
                    Expect(v > 0 && v < 100, "a supply voltage in volts, got " + v); } } },
                { "AuxVersion", () => { using (var f = new AuxVersion()) {
                    byte major, minor, release, build;
                    f.GetSSVersion(out major, out minor, out release, out build);
                    Equal("1.3.0.0", major + "." + minor + "." + release + "." + build, "supervisor version"); } } },
                { "Backlight", () => { using (var f = new Backlight()) {
                    f.SetIntensity(201);
                    Equal((byte)201, f.GetIntensity(), "level");
                    f.StartAutomaticBL();
                    Equal(true, f.GetAutomaticBLStatus(), "automatic backlight on");
                    f.StopAutomaticBL();
                    Equal(false, f.GetAutomaticBLStatus(), "automatic backlight off"); } } },
                { "Battery", () => { using (var f = new Battery()) {
                    Equal(9, f.GetTimer().counter.Length, "battery timer counters"); } } },
                { "Buzzer", () => { using (var f = new Buzzer()) {
                    f.SetFrequency(3100);
                    Equal((ushort)3100, f.GetFrequency(), "frequency");
                    foreach (bool on in new[] { true, false }) {
                        f.SetTrigger(on);
                        Equal(on, f.GetTrigger(), "trigger"); } } } },
                { "CanSetting", () => { using (var f = new CanSetting()) {
                    f.SetBaudrate(1, 250);
                    Equal((ushort)250, f.GetBaudrate(1), "bit rate"); } } },
                { "Config", () => { using (var f = new Config()) {
                    f.SetStartupVoltageConfig(11.5);
                    double volts = f.GetStartupVoltageConfig(); // stored in steps of the hardware's
                    Expect(Math.Abs(volts - 11.5) < 0.01, "start-up voltage 11.5, got " + volts);
                    f.SetHeatingTempLimit(-15);
                    Equal((short)-15, f.GetHeatingTempLimit(), "heating limit"); } } },
                { "Diagnostic", () => { using (var f = new Diagnostic()) {
                    Equal(28, f.GetTimer().raw.Length, "diagnostic times"); } } },
                { "DigIO", () => { using (var f = new DigIO()) { f.GetDigIO(); } } },
                { "FirmwareUpgrade", () => { using (var f = new FirmwareUpgrade()) {
                    UpgradeStatus s = f.GetUpgradeStatus(false);
                    Equal(UpgradeAction.UPGRADE_INIT, s.action, "action");
                    Equal(ErrorCode.ERR_SUCCESS, s.result, "result"); } } },
                { "FrontLED", () => { using (var f = new FrontLED()) {
                    byte r, g, b;
                    f.SetColor(3, 9, 14);
                    f.GetColor(out r, out g, out b);
                    Equal("3,9,14", r + "," + g + "," + b, "colour"); } } },
                { "Lightsensor", () => { using (var f = new Lightsensor()) {
                    ushort lux; byte ch0, ch1;
                    f.GetIlluminance2(out lux, out ch0, out ch1);
                    Equal(lux, f.GetIlluminance(), "illuminance"); } } },
                { "Power", () => { using (var f = new Power()) {
                    f.SetVideoPowerStatus(2);
                    Equal((byte)2, f.GetVideoPowerStatus(), "video power mask"); } } },
                { "PowerMgr", () => { using (var f = new PowerMgr()) { f.GetPowerMgrStatus(); } } },
                { "Smart", () => { using (var f = new Smart()) {
                    Expect(f.GetInitialTime() != 0, "a first-use time");
                    Expect(f.GetDeviceSerial().Length > 0, "a device serial"); } } },
                { "TavikPrivate", () => { using (var f = new TavikPrivate()) {
                    f.SetFileSetting("DotnetKey", "value");
                    Equal("value", f.GetFileSetting("DotnetKey"), "settings key"); } } },
                { "Telematics", () => { using (var f = new Telematics()) {
                    f.SetGPSPowerStatus(1);
                    Equal(1, f.GetGPSPowerStatus(), "GPS power"); } } },
                { "TouchScreen", () => { using (var f = new TouchScreen()) {
                    f.SetMouseRightClickTime(700);
                    Equal((ushort)700, f.GetMouseRightClickTime(), "right-click time"); } } },
                { "TouchScreenCalib", () => { using (var f = new TouchScreenCalib()) { f.GetMode(); } } },
                { "Video", () => { using (var f = new Video()) {
                    float x, y;
                    f.Init(1);
                    f.SetScaling(0.5f, 0.75f);
                    f.GetScaling(out x, out y);
                    // the device keeps a factor in steps of its own
                    Expect(Math.Abs(x - 0.5f) < 0.01 && Math.Abs(y - 0.75f) < 0.01, "scaling 0.5, 0.75, got " + x + ", " + y); } } },
            };
            var classes = new List<string>();
            foreach (Type t in typeof(Family).Assembly.GetTypes())
                if (t.Namespace == "Tavik2" && t.IsSubclassOf(typeof(Family))) classes.Add(t.Name);
            classes.Sort();
            var covered = new List<string>(cases.Keys);
            covered.Sort();
            Equal(string.Join(",", classes), string.Join(",", covered), "families covered");
            foreach (var c in cases)
            {
                try
                {
                    c.Value();
                }
                catch (Exception e)
                {
                    throw new Exception(c.Key + ": " + e.Message, e);
                }
            }
        }

        // Every record's size and field offsets as the binding marshals it, against the C compiler's.
        static void RecordLayouts()
        {
            var c = new List<string>();
            var start = new ProcessStartInfo(layoutProgram) { UseShellExecute = false, RedirectStandardOutput = true };
            using (Process p = Process.Start(start))
            {
                string line;
                while ((line = p.StandardOutput.ReadLine()) != null) c.Add(line);
                p.WaitForExit();
                Equal(0, p.ExitCode, "layout program exit status");
            }
            var cs = new List<string>();
            foreach (Type t in typeof(Family).Assembly.GetTypes())
            {
                if (t.Namespace != "Tavik2" || !t.IsValueType || t.IsEnum) continue;
                cs.Add(t.Name + " " + Marshal.SizeOf(t));
                foreach (FieldInfo f in t.GetFields(BindingFlags.Public | BindingFlags.Instance))
                    cs.Add(t.Name + "." + f.Name + " " + Marshal.OffsetOf(t, f.Name));
            }
            c.Sort(StringComparer.Ordinal);
            cs.Sort(StringComparer.Ordinal);
            Expect(c.Count >= 4, "the records of the headers, got " + c.Count + " lines");
            Equal(string.Join("\n", c), string.Join("\n", cs), "record layouts");
        }

        // Every function of the export table is declared once under its name, with arguments that
        // take the table's stack bytes on 32-bit Windows, and found in the library.
        static void EveryExportDeclaredAndFound()
        {
            var table = new List<string>();
            var argBytes = new Dictionary<string, int>();
            foreach (Match m in Regex.Matches(File.ReadAllText(exportTable),
                         @"^TAVIK_EXPORT\( *\d+, *\w+, *(\w+), *(\d+),", RegexOptions.Multiline))
            {
                table.Add(m.Groups[1].Value);
                argBytes[m.Groups[1].Value] = int.Parse(m.Groups[2].Value);
            }
            var declared = new List<string>();
            foreach (MethodInfo m in typeof(Native).GetMethods(BindingFlags.Public | BindingFlags.Static))
            {
                var import = (DllImportAttribute)Attribute.GetCustomAttribute(m, typeof(DllImportAttribute));
                if (import == null) continue;
                Equal(m.Name, import.EntryPoint, "entry point of " + m.Name);
                Equal(CallingConvention.StdCall, import.CallingConvention, "convention of " + m.Name);
                int bytes = 0;
                foreach (ParameterInfo p in m.GetParameters())
                {
                    Type t = p.ParameterType;
                    bool wide = !t.IsByRef && (t == typeof(double) || t == typeof(long) || t == typeof(ulong));
                    bytes += wide ? 8 : 4; // one 32-bit word each; a 64-bit value by value takes two
                }
                Equal(argBytes.ContainsKey(m.Name) ? argBytes[m.Name] : -1, bytes, "argument bytes of " + m.Name);
                Marshal.Prelink(m); // EntryPointNotFoundException when the library lacks it
                declared.Add(m.Name);
            }
            table.Sort(StringComparer.Ordinal);
            declared.Sort(StringComparer.Ordinal);
            Expect(table.Count > 280, "the export table, got " + table.Count + " functions");
            Equal(string.Join(",", table), string.Join(",", declared), "declared functions");
        }

        // A value longer than the first buffer: the getter asks again with a larger one.
        static void TextGrowsOnBufferSize()
        {
            var value = new StringBuilder();
            for (int i = 0; value.Length < 1500; i++) value.Append(i).Append(';');
            using (var p = new TavikPrivate())
            {
                p.SetFileSetting("DotnetLong", value.ToString());
                Equal(value.ToString(), p.GetFileSetting("DotnetLong"), "long settings value");
            }
        }

        // Bitmaps the library allocates come back as copies (the buffer is freed by the binding).
        static void LibraryAllocatedBitmap()
        {
            using (var v = new Video())
            {
                v.Init(1);
                byte[] bmp = v.TakeSnapshotBmp(false, false);
                Equal("BM", Encoding.ASCII.GetString(bmp, 0, 2), "bitmap signature");
                Equal(bmp.Length, BitConverter.ToInt32(bmp, 2), "bitmap size field");
                byte[] raw = v.TakeSnapshotRaw(Constants.RAW_FRAME_BUFFER_SIZE, false);
                Equal((int)Constants.RAW_FRAME_BUFFER_SIZE, raw.Length, "raw frame buffer");
                byte[] again = v.CreateBitmap(raw, false, false);
                Equal("BM", Encoding.ASCII.GetString(again, 0, 2), "bitmap from the raw frame");
                Equal(ErrorCode.ERR_INVALID_PARAMETER, Throws(() => v.CreateBitmap(null, false, false)).Code, "null data");
            }
        }

        static void ErrorsCarryCodeFunctionAndMessage()
        {
            using (var d = new Diagnostic())
            {
                short t; int type;
                Tavik2Exception e = Throws(() => d.GetPMTemp(200, out t, out type));
                Equal(ErrorCode.ERR_GET_TEMP, e.Code, "code");
                Equal("Diagnostic_getPMTemp", e.Function, "function");
                Equal("Failed to read temperature", e.Message, "message");
                Equal(ErrorText.GetErrorStringA((int)ErrorCode.ERR_GET_TEMP), e.Message, "narrow message");
            }
            using (var f = new FirmwareUpgrade())
            {
                // A null text reaches the library as a null pointer.
                Equal(ErrorCode.ERR_INVALID_PARAMETER, Throws(() => f.StartFpgaUpgrade(null, true)).Code, "null path");
            }
            Equal("Average calulation started by other process", ErrorText.GetErrorStringW(20), "wide message");
        }

        // The binding's reference to a shared Backlight, dropped without Dispose (or disposed
        // twice), is released by the finaliser exactly once: a reference taken beside it through
        // Native stays valid, and is the last one.
        static void HandleReleasedOnceByFinaliser()
        {
            foreach (bool dispose in new[] { false, true })
            {
                IntPtr mine = Native.GetBacklight();
                var t = new Thread(() =>
                {
                    var b = new Backlight();
                    b.GetIntensity();
                    if (dispose)
                    {
                        b.Dispose();
                        b.Dispose();
                    }
                });
                t.Start();
                t.Join();
                for (int i = 0; i < 3; i++)
                {
                    GC.Collect();
                    GC.WaitForPendingFinalizers();
                }
                byte level;
                Equal(ErrorCode.ERR_SUCCESS, Native.Backlight_getIntensity(mine, out level), "own reference, dispose " + dispose);
                Native.Backlight_release(mine);
                Equal(ErrorCode.ERR_INVALID_PARAMETER, Native.Backlight_getIntensity(mine, out level),
                    "after the last release, dispose " + dispose);
            }
        }

        static void DisposedObjectRefusesCalls()
        {
            var v = new AuxVersion();
            IntPtr raw = v.Handle.DangerousGetHandle();
            v.Dispose();
            byte a, b, c, d;
            Equal(ErrorCode.ERR_INVALID_PARAMETER, Native.AuxVersion_getTavikVersion(raw, out a, out b, out c, out d),
                "released handle");
            try
            {
                v.GetTavikVersion(out a, out b, out c, out d);
                throw new Exception("expected ObjectDisposedException");
            }
            catch (ObjectDisposedException)
            {
            }
        }

        static int Main(string[] args)
        {
            layoutProgram = args[0];
            exportTable = args[1];
            // A fresh unit of its own, chosen before the library is first called.
            string parent = Environment.GetEnvironmentVariable("TAVIK_TEST_HOME_PARENT") ?? Path.GetTempPath();
            string home = Path.Combine(parent, "tavik2-dotnet-" + Guid.NewGuid().ToString("N"));
            Directory.CreateDirectory(home);
            Environment.SetEnvironmentVariable("TAVIK_HOME", home);
            if (Environment.GetEnvironmentVariable("TAVIK_TIME_SCALE") == null)
                Environment.SetEnvironmentVariable("TAVIK_TIME_SCALE", "1000");
            var tests = new Action[] {
                HandleReleasedOnceByFinaliser, DisposedObjectRefusesCalls, EveryFamily, RecordLayouts,
                EveryExportDeclaredAndFound, TextGrowsOnBufferSize, LibraryAllocatedBitmap,
                ErrorsCarryCodeFunctionAndMessage,
            };
            int failed = 0;
            try
            {
                foreach (Action test in tests)
                {
                    try
                    {
                        test();
                        Console.WriteLine("ok   " + test.Method.Name);
                    }
                    catch (Exception e)
                    {
                        failed++;
                        Console.WriteLine("FAIL " + test.Method.Name + ": " + e);
                    }
                }
                Expect(Directory.GetFileSystemEntries(home).Length > 0, "the unit in " + home);
            }
            finally
            {
                Directory.Delete(home, true);
            }
            Console.WriteLine(failed == 0 ? "all passed" : failed + " failed");
            return failed == 0 ? 0 : 1;
        }
    }
}
