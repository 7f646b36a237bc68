// Allocations of known classes at known call paths for the engine stand-in:
// objects kept across frames, garbage made in a loop (the collector moves the
// kept ones and hands the garbage's addresses out again), then everything dropped.
public class Bullet { public int X, Y; }
public class Shell { public long A, B, C; }

public static class AllocLoop
{
    public static object[] Kept;
    public static object Last;

    public static void Keep(int bullets, int shells)
    {
        Kept = new object[bullets + shells];
        MakeBullets(bullets);
        Armory.MakeShells(shells, bullets);
    }

    static void MakeBullets(int n)
    {
        for (int i = 0; i < n; i++) Kept[i] = new Bullet();
    }

    // Each object but the last is garbage as soon as the next one is made.
    public static void Churn(int n)
    {
        for (int i = 0; i < n; i++) Last = new Bullet();
    }

    public static void Drop()
    {
        Kept = null;
        Last = null;
    }
}

public static class Armory
{
    public static void MakeShells(int n, int at)
    {
        for (int i = 0; i < n; i++) AllocLoop.Kept[at + i] = new Shell();
    }
}
