// The hand-written part of the binding: the exception and the base of the family classes. The
// generator puts this text at the head of Tavik2.cs, before the generated declarations.
using System;
using System.Runtime.InteropServices;

namespace Tavik2
{
    /// <summary>A result other than ERR_SUCCESS: its Code, the Function that returned it and the
    /// library's message for the code as Message.</summary>
    public sealed class Tavik2Exception : Exception
    {
        public ErrorCode Code { get; private set; }
        public string Function { get; private set; }

        public Tavik2Exception(ErrorCode code, string function)
            : base(MessageOf(code))
        {
            Code = code;
            Function = function;
        }

        /// <summary>The library's message for a code (GetErrorStringW).</summary>
        public static string MessageOf(ErrorCode code)
        {
            string text = Marshal.PtrToStringUni(Native.GetErrorStringW((int)code));
            return text ?? ("result code " + (int)code);
        }

        public override string ToString()
        {
            return Function + ": " + Message + " (" + Code + " = " + (int)Code + ")"
                + Environment.NewLine + StackTrace;
        }
    }

    /// <summary>Base of the family classes: owns the handle through a SafeHandle, which releases it
    /// exactly once, on Dispose or when the object is collected. A call in progress on another
    /// thread keeps the handle alive until it returns; a call after Dispose throws
    /// ObjectDisposedException and never reaches the library.</summary>
    public abstract class Family : IDisposable
    {
        // Text buffers start at TextStart bytes and grow fourfold on ERR_BUFFER_SIZE up to TextLimit.
        protected const int TextStart = 256;
        protected const int TextLimit = 1 << 16;

        readonly SafeHandle handle;

        protected Family(SafeHandle handle, string factory)
        {
            if (handle.IsInvalid)
            {
                handle.SetHandleAsInvalid();
                throw new Tavik2Exception(ErrorCode.ERR_MEMORY_ALLOCATION, factory);
            }
            this.handle = handle;
        }

        /// <summary>The library's handle, for calls through Native.</summary>
        public SafeHandle Handle { get { return handle; } }

        public void Dispose()
        {
            handle.Dispose();
        }

        protected IntPtr Enter()
        {
            bool added = false;
            handle.DangerousAddRef(ref added);
            return handle.DangerousGetHandle();
        }

        protected void Leave()
        {
            handle.DangerousRelease();
        }

        protected static void Check(ErrorCode code, string function)
        {
            if (code != ErrorCode.ERR_SUCCESS) throw new Tavik2Exception(code, function);
        }

        // The text up to its terminating zero, converted as the platform converts narrow texts.
        protected static string Text(byte[] buffer)
        {
            GCHandle pin = GCHandle.Alloc(buffer, GCHandleType.Pinned);
            try
            {
                return Marshal.PtrToStringAnsi(pin.AddrOfPinnedObject());
            }
            finally
            {
                pin.Free();
            }
        }

        protected static byte[] Copy(IntPtr data, uint size)
        {
            if (size > int.MaxValue) throw new OverflowException("buffer of " + size + " bytes");
            byte[] copy = new byte[size];
            Marshal.Copy(data, copy, 0, (int)size);
            return copy;
        }
    }
}
