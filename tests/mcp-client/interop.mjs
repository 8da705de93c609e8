// Drives the app's MCP service with the official MCP TypeScript SDK client, once over
// Streamable HTTP and once through the stdio bridge:
//   node interop.mjs <endpoint URL> <bridge program> [bridge arguments...]
// Prints one JSON line per transport; exits 0 when every check held, 1 otherwise.
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';

const hints = ['readOnlyHint', 'destructiveHint', 'idempotentHint', 'openWorldHint'];

function check(condition, message) {
  if (!condition)
    throw new Error(message);
}

function text(result) {
  check(result.content.length === 1 && result.content[0].type === 'text', `content: ${JSON.stringify(result)}`);
  return result.content[0].text;
}

async function exercise(label, transport, level) {
  const client = new Client({ name: 'corvane-interop', version: '1.0.0' });
  await client.connect(transport);
  try {
    check((client.getInstructions() ?? '').includes('desktop app'), 'instructions');
    const { tools } = await client.listTools();
    check(tools.length === 18, `tools: ${tools.map((t) => t.name)}`);
    check(tools.find((t) => t.name === 'tv_press_button').inputSchema.properties.button.enum.length === 35, 'buttons');
    for (const tool of tools)
      check(tool.title && hints.every((hint) => typeof tool.annotations?.[hint] === 'boolean'), `title, hints: ${tool.name}`);
    check(tools.filter((t) => t.annotations.destructiveHint).map((t) => t.name).join() === 'tv_power', 'destructive');
    const structuredTools = tools.filter((t) => t.outputSchema).map((t) => t.name);
    check(structuredTools.length === 10, `tools with an output schema: ${structuredTools}`);

    // Every structured tool once at least: the client checks each structuredContent against
    // the tool's output schema.
    const called = new Set();
    const call = async (name, args) => {
      const result = await client.callTool({ name, arguments: args });
      check(result.isError === false && typeof result.structuredContent === 'object', `${name}: ${JSON.stringify(result)}`);
      called.add(name);
      return result.structuredContent;
    };
    const status = await call('tv_status', {});
    check(status.connection === 'ready', `connection: ${status.connection}`);
    check((await call('tv_list_devices', {})).devices.length === 1, 'tv_list_devices');
    check((await call('tv_list_apps', {})).apps.length > 0, 'tv_list_apps');
    check((await call('tv_list_inputs', {})).inputs.length > 0, 'tv_list_inputs');
    check((await call('tv_volume', { action: 'set', level })).volume === level, 'tv_volume');
    check((await call('tv_mute', { muted: true })).muted === true, 'tv_mute');
    await call('tv_sound_output', { action: 'set', output: 'external_arc' });
    check((await call('tv_sound_output', { action: 'get' })).output === 'external_arc', 'tv_sound_output');
    check((await call('tv_screen', { action: 'off' })).screen === 'off', 'tv_screen');
    check((await call('tv_channel', { action: 'list' })).total > 0, 'tv_channel list');
    check((await call('tv_channel', { action: 'set', number: '5' })).channel.number === '5', 'tv_channel set');
    check((await call('tv_channel', { action: 'current' })).channel.number === '5', 'tv_channel current');
    check(text(await client.callTool({ name: 'tv_channel', arguments: { action: 'up' } })) === 'Channel up', 'tv_channel up');
    const page = `https://example.com/${label}`;
    check((await call('tv_open_url', { url: page })).url === page, 'tv_open_url');
    check(structuredTools.every((name) => called.has(name)), `not called: ${structuredTools.filter((n) => !called.has(n))}`);

    const toast = await client.callTool({ name: 'tv_notify', arguments: { message: `hello over ${label}` } });
    check(text(toast) === 'Notification shown', `tv_notify: ${JSON.stringify(toast)}`);
    // A tool failure is a result the agent can read, not a protocol error.
    const refused = await client.callTool({ name: 'tv_press_button', arguments: { button: 'POWER' } });
    check(refused.isError === true && text(refused) === "Unsupported button 'POWER'", `refused: ${JSON.stringify(refused)}`);
    await client.ping();
    console.log(JSON.stringify({ transport: label, ok: true }));
  } finally {
    await client.close();
  }
}

const [endpoint, bridge, ...bridgeArgs] = process.argv.slice(2);
try {
  await exercise('http', new StreamableHTTPClientTransport(new URL(endpoint)), 21);
  await exercise('stdio', new StdioClientTransport({ command: bridge, args: bridgeArgs, env: { ...process.env }, stderr: 'inherit' }), 22);
  process.exit(0);
} catch (error) {
  console.log(JSON.stringify({ ok: false, error: String(error && error.stack ? error.stack : error) }));
  process.exit(1);
}
