// Drives the app's MCP service with the official MCP TypeScript SDK client, once over
// Streamable HTTP and once through the stdio bridge.
//
//   node interop.mjs <endpoint URL> <bridge program> [bridge arguments...]
//
// Prints one JSON line per step; exits 0 when every check held, 1 otherwise.
import { Client } from '@modelcontextprotocol/sdk/client/index.js';
import { StreamableHTTPClientTransport } from '@modelcontextprotocol/sdk/client/streamableHttp.js';
import { StdioClientTransport } from '@modelcontextprotocol/sdk/client/stdio.js';

const hints = ['readOnlyHint', 'destructiveHint', 'idempotentHint', 'openWorldHint'];

function check(condition, message) {
  if (!condition)
    throw new Error(message);
}

function text(result) {
  check(Array.isArray(result.content) && result.content.length === 1, 'one content item expected');
  check(result.content[0].type === 'text', 'text content expected');
  return result.content[0].text;
}

async function exercise(label, transport, level) {
  const client = new Client({ name: 'corvane-interop', version: '1.0.0' });
  await client.connect(transport);
  try {
    const info = client.getServerVersion();
    check(info && info.name === 'corvane-remote', `server name: ${JSON.stringify(info)}`);
    check(client.getServerCapabilities()?.tools !== undefined, 'tools capability missing');
    check((client.getInstructions() ?? '').includes('desktop app'), 'instructions');

    const { tools } = await client.listTools();
    check(tools.length === 18, `tools: ${tools.map((t) => t.name)}`);
    const press = tools.find((t) => t.name === 'tv_press_button');
    check(press.inputSchema.properties.button.enum.length === 35, 'button enum');
    for (const tool of tools) {
      check(typeof tool.title === 'string' && tool.title !== '', `title of ${tool.name}`);
      check(hints.every((hint) => typeof tool.annotations?.[hint] === 'boolean'), `annotations of ${tool.name}`);
    }
    check(tools.filter((t) => t.annotations.destructiveHint).map((t) => t.name).join() === 'tv_power', 'destructive tools');
    const structuredTools = tools.filter((t) => t.outputSchema).map((t) => t.name);
    check(structuredTools.length === 10, `tools with an output schema: ${structuredTools}`);

    // Every structured tool once at least; the client validates each structuredContent.
    const called = new Set();
    const call = async (name, args) => {
      const result = await client.callTool({ name, arguments: args });
      check(result.isError === false && typeof result.structuredContent === 'object', `${name}: ${JSON.stringify(result)}`);
      called.add(name);
      return result;
    };
    const statusResult = await call('tv_status', {});
    const status = JSON.parse(text(statusResult));
    check(status.connection === 'ready', `connection: ${status.connection}`);
    check(JSON.stringify(statusResult.structuredContent.inputs) === JSON.stringify(status.inputs), 'status: text and structure');
    check((await call('tv_list_devices', {})).structuredContent.devices.length === 1, 'tv_list_devices');
    check((await call('tv_list_apps', {})).structuredContent.apps.length > 0, 'tv_list_apps');
    check((await call('tv_list_inputs', {})).structuredContent.inputs.length > 0, 'tv_list_inputs');

    const volume = await call('tv_volume', { action: 'set', level });
    check(text(volume) === `Volume: ${level}` && volume.structuredContent.volume === level, `tv_volume: ${JSON.stringify(volume)}`);
    check((await call('tv_mute', { muted: true })).structuredContent.muted === true, 'tv_mute');
    await call('tv_mute', { muted: false });
    await call('tv_sound_output', { action: 'set', output: 'external_arc' });
    check((await call('tv_sound_output', { action: 'get' })).structuredContent.output === 'external_arc', 'tv_sound_output');
    await call('tv_sound_output', { action: 'set', output: 'tv_speaker' });
    check((await call('tv_screen', { action: 'off' })).structuredContent.screen === 'off', 'tv_screen');
    await call('tv_screen', { action: 'on' });
    check((await call('tv_channel', { action: 'list' })).structuredContent.total > 0, 'tv_channel list');
    const set = await call('tv_channel', { action: 'set', number: '5' });
    check(set.structuredContent.channel.number === '5', `tv_channel set: ${JSON.stringify(set)}`);
    check((await call('tv_channel', { action: 'current' })).structuredContent.channel.number === '5', 'tv_channel current');
    check(text(await call('tv_channel', { action: 'up' })) === 'Channel up', 'tv_channel up');
    const page = `https://example.com/${label}`;
    check((await call('tv_open_url', { url: page })).structuredContent.url === page, 'tv_open_url');
    check(structuredTools.every((name) => called.has(name)), `not called: ${structuredTools.filter((n) => !called.has(n))}`);

    const toast = await client.callTool({ name: 'tv_notify', arguments: { message: `hello over ${label}` } });
    check(text(toast) === 'Notification shown', `tv_notify: ${JSON.stringify(toast)}`);

    // A tool failure is a result the agent can read, not a protocol error.
    const refused = await client.callTool({ name: 'tv_press_button', arguments: { button: 'POWER' } });
    check(refused.isError === true && text(refused) === "Unsupported button 'POWER'", `refused: ${JSON.stringify(refused)}`);

    await client.ping();
    console.log(JSON.stringify({ transport: label, ok: true, tools: tools.length, power: status.power, level }));
  } finally {
    await client.close();
  }
}

const [endpoint, bridge, ...bridgeArgs] = process.argv.slice(2);
if (!endpoint || !bridge) {
  console.error('usage: node interop.mjs <endpoint URL> <bridge program> [bridge arguments...]');
  process.exit(2);
}

try {
  await exercise('http', new StreamableHTTPClientTransport(new URL(endpoint)), 21);
  await exercise('stdio', new StdioClientTransport({ command: bridge, args: bridgeArgs, env: { ...process.env }, stderr: 'inherit' }), 22);
  process.exit(0);
} catch (error) {
  console.log(JSON.stringify({ ok: false, error: String(error && error.stack ? error.stack : error) }));
  process.exit(1);
}
