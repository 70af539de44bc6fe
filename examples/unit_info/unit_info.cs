// unit_info in C#: the same application as unit_info.cpp, through the .NET binding (Tavik2.cs).
// Prints the library and firmware versions and the unit's serial number; exits non-zero with the
// library's message on failure.
//   Windows: build it with Tavik2.cs (or the SDK's dotnet project) for x86, Tavik2.dll beside it.
//   Mono:    mcs unit_info.cs Tavik2.cs, and map Tavik2 to libtavik2.so in unit_info.exe.config.
using System;
using Tavik2;

static class UnitInfo
{
    static string Version(byte major, byte minor, byte release, byte build)
    {
        return major + "." + minor + "." + release + "." + build;
    }

    static int Main()
    {
        string step = "library version";
        try
        {
            byte major, minor, release, build;
            using (var versions = new AuxVersion())
            {
                versions.GetTavikVersion(out major, out minor, out release, out build);
                Console.WriteLine("library " + Version(major, minor, release, build));
                step = "supervisor firmware version";
                versions.GetSSVersion(out major, out minor, out release, out build);
                Console.WriteLine("supervisor firmware " + Version(major, minor, release, build));
            }
            step = "unit serial";
            using (var about = new About())
                Console.WriteLine("unit serial " + about.GetUnitSerial());
            return 0;
        }
        catch (Tavik2Exception e)
        {
            Console.Error.WriteLine(step + ": " + e.Message + " (" + (int)e.Code + ")");
            return 1;
        }
    }
}
